#pragma once

#include <QByteArray>
#include <QString>

// The installation's 8-bit code page: the one the stock database's older
// programs wrote text and encoded credentials in. windows-1257 (Baltic) unless
// the administrator sets NORVALK_CODEPAGE to another name the platform knows.
QByteArray installationCodePage();

// Text <-> bytes in the installation's code page. Characters the code page
// lacks become '?', as the older programs stored them.
QByteArray toCodePage(const QString& text);
QString fromCodePage(const QByteArray& bytes);
