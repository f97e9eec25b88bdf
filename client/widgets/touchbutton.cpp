#include "client/widgets/touchbutton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace {

constexpr int kTextMargin = 4;

} // namespace

TouchButton::TouchButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {}

void TouchButton::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    painter.drawControl(QStyle::CE_PushButtonBevel, option);
    painter.setFont(font());
    painter.setPen(option.palette.color(QPalette::ButtonText));
    painter.drawText(rect().adjusted(kTextMargin, kTextMargin, -kTextMargin, -kTextMargin),
                     Qt::AlignCenter | Qt::TextWordWrap, text());
}
