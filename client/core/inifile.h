#pragma once

#include <QString>

#include <optional>

// One INI file in the common layout: "[Section]" lines, each followed by
// "Key=Value" lines. Every call reads the file afresh and every write
// rewrites it at once, so no handle stays open and an edit made by hand
// between two calls is seen. Section and key names match without regard to
// case, as INI files are usually read; the text is UTF-8.
//
// setValue() creates the file (and its folder) when missing and throws
// ClientError when it cannot be written.
class IniFile final
{
public:
    explicit IniFile(const QString& path) : m_path(path) {}

    QString path() const { return m_path; }

    // The value as written after "=", blanks around it removed; nothing when
    // the file, the section or the key is missing.
    std::optional<QString> value(const QString& section, const QString& key) const;
    void setValue(const QString& section, const QString& key, const QString& value);

private:
    QString m_path;
};
