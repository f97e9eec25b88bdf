#include "client/widgets/touchlook.h"

#include <QPalette>
#include <QWidget>

namespace {

// Buttons and fields stand out from the blue fill; the focused control gets
// a darker frame, since a scanner user looks for where the next code goes.
const QString kStyleSheet = QStringLiteral(R"(
QPushButton {
    background-color: #F7FBFE;
    color: #10263A;
    border: 1px solid #4A7396;
    border-radius: 3px;
    padding: 2px 4px;
}
QPushButton:pressed { background-color: #C9E3F5; }
QPushButton:focus { border: 2px solid #1B4F7A; }
QLineEdit {
    background-color: white;
    color: black;
    border: 1px solid #4A7396;
    border-radius: 3px;
    padding: 2px 6px;
}
QLineEdit:focus { border: 2px solid #1B4F7A; }
QCheckBox { color: #10263A; }
QLabel { color: #10263A; }
)");

} // namespace

QFont TouchLook::font(int size, bool bold)
{
    QFont font;
    font.setPixelSize(size);
    font.setBold(bold);
    return font;
}

void TouchLook::applyTo(QWidget* form)
{
    QPalette palette = form->palette();
    palette.setColor(QPalette::Window, fill());
    form->setPalette(palette);
    form->setAutoFillBackground(true);
    form->setStyleSheet(kStyleSheet);
}
