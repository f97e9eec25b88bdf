#pragma once

#include <QString>
#include <QTemporaryDir>

// A fresh database file made by scripts/make-db in a temporary folder, removed
// with the object. Tests that need the stock schema make one per test case or
// per suite; making one takes about a second.
class TestDatabase final
{
public:
    enum class Content
    {
        Empty,
        Demo
    };

    explicit TestDatabase(Content content = Content::Demo, const QString& charset = "UTF8");

    bool isValid() const { return !m_path.isEmpty(); }
    QString path() const { return m_path; }
    QString error() const { return m_error; }

private:
    QTemporaryDir m_dir;
    QString m_path;
    QString m_error;
};
