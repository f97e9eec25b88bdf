#pragma once

#include <QColor>
#include <QFont>

class QWidget;

// The look of the terminal's windows: the light sky-blue fill, large rounded
// buttons and fields for fingers, and the fonts.
//
// Font sizes are given in the design's device-independent pixels, the unit
// of the fixed window and control sizes, so that a caption sized for a
// 105-pixel button fits it on every screen; Qt scales pixels on dense
// screens as it scales the windows.
class TouchLook final
{
public:
    TouchLook() = delete;

    static QColor fill() { return QColor(0x87, 0xCE, 0xFA); } // LightSkyBlue

    static QFont font(int size, bool bold = false);

    // Gives a window the fill and the control style sheet.
    static void applyTo(QWidget* form);
};
