#include "common/remoteparam.h"

#include <QDateTime>

RemoteParam RemoteParam::integer(const QString& name, qint32 value)
{
    return {name, ParamType::Integer, ParamDirection::Input, QVariant(value)};
}

RemoteParam RemoteParam::text(const QString& name, const QString& value)
{
    return {name, ParamType::Text, ParamDirection::Input, QVariant(value)};
}

RemoteParam RemoteParam::number(const QString& name, double value)
{
    return {name, ParamType::Double, ParamDirection::Input, QVariant(value)};
}

RemoteParam RemoteParam::dateTime(const QString& name, const QDateTime& value)
{
    return {name, ParamType::DateTime, ParamDirection::Input, QVariant(value)};
}

RemoteParam RemoteParam::null(const QString& name)
{
    return {name, ParamType::Null, ParamDirection::Input, QVariant()};
}

void setParam(RemoteParams& params, const RemoteParam& param)
{
    for (RemoteParam& existing : params) {
        if (existing.name.compare(param.name, Qt::CaseInsensitive) == 0) {
            existing = param;
            return;
        }
    }
    params.append(param);
}

const RemoteParam* findParam(const RemoteParams& params, const QString& name)
{
    for (const RemoteParam& param : params) {
        if (param.name.compare(name, Qt::CaseInsensitive) == 0)
            return &param;
    }
    return nullptr;
}
