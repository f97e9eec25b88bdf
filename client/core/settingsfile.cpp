#include "client/core/settingsfile.h"

#include "client/core/inifile.h"

#include <QStandardPaths>

QString SettingsFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
           QStringLiteral("/Norvalk.INI");
}

QString IniReadString(const QString& section, const QString& key, const QString& defaultValue)
{
    return IniFile(SettingsFilePath()).value(section, key).value_or(defaultValue);
}

void IniWriteString(const QString& section, const QString& key, const QString& value)
{
    IniFile(SettingsFilePath()).setValue(section, key, value);
}

int IniReadInteger(const QString& section, const QString& key, int defaultValue)
{
    const std::optional<QString> text = IniFile(SettingsFilePath()).value(section, key);
    if (!text)
        return defaultValue;
    bool ok = false;
    const int value = text->toInt(&ok, 10);
    return ok ? value : defaultValue;
}

void IniWriteInteger(const QString& section, const QString& key, int value)
{
    IniWriteString(section, key, QString::number(value));
}

bool IniReadBool(const QString& section, const QString& key, bool defaultValue)
{
    return IniReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void IniWriteBool(const QString& section, const QString& key, bool value)
{
    IniWriteInteger(section, key, value ? 1 : 0);
}
