#pragma once

#include <QPixmap>
#include <QSize>

// The terminal's logo, drawn rather than shipped as a file so that it is
// sharp at any size and screen density. Its lower edge is left plain for the
// maker's notice that the main window lays over it.
class LogoImage final
{
public:
    LogoImage() = delete;

    static QPixmap paint(const QSize& size, qreal devicePixelRatio = 1.0);
};
