#pragma once

#include <QList>
#include <QString>
#include <QVariant>

// A named, typed parameter of a provider request. The value's C++ type follows
// the parameter type: qint32 for Integer, QString for Text, double for Double,
// QDateTime for DateTime; an invalid QVariant stands for NULL.
enum class ParamType : quint8
{
    Integer,
    Text,
    Double,
    DateTime,
    Null
};
enum class ParamDirection : quint8
{
    Input,
    Output,
    InputOutput
};

struct RemoteParam
{
    QString name;
    ParamType type = ParamType::Null;
    ParamDirection direction = ParamDirection::Input;
    QVariant value;

    bool isNull() const { return type == ParamType::Null || !value.isValid() || value.isNull(); }

    static RemoteParam integer(const QString& name, qint32 value);
    static RemoteParam text(const QString& name, const QString& value);
    static RemoteParam number(const QString& name, double value);
    static RemoteParam dateTime(const QString& name, const QDateTime& value);
    static RemoteParam null(const QString& name);

    friend bool operator==(const RemoteParam&, const RemoteParam&) = default;
};

using RemoteParams = QList<RemoteParam>;

// Replaces the parameter of that name (case-insensitive, as the database matches
// markers) or appends it.
void setParam(RemoteParams& params, const RemoteParam& param);
const RemoteParam* findParam(const RemoteParams& params, const QString& name);
