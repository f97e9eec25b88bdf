#include "client/widgets/touchcheckbox.h"

#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int kBoxSize = 28;
constexpr int kSpacing = 12;

} // namespace

TouchCheckBox::TouchCheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent)
{
}

void TouchCheckBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(1.5, (height() - kBoxSize) / 2.0, kBoxSize, kBoxSize);
    painter.setPen(QPen(hasFocus() ? QColor(0x1B, 0x4F, 0x7A) : QColor(0x4A, 0x73, 0x96),
                        hasFocus() ? 2.0 : 1.0));
    painter.setBrush(isDown() ? QColor(0xC9, 0xE3, 0xF5) : QColor(Qt::white));
    painter.drawRoundedRect(box, 3, 3);
    if (isChecked()) {
        QPainterPath tick;
        tick.moveTo(box.left() + kBoxSize * 0.22, box.top() + kBoxSize * 0.52);
        tick.lineTo(box.left() + kBoxSize * 0.42, box.top() + kBoxSize * 0.72);
        tick.lineTo(box.left() + kBoxSize * 0.78, box.top() + kBoxSize * 0.28);
        painter.setPen(
            QPen(QColor(0x1B, 0x4F, 0x7A), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(tick);
    }
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect().adjusted(kBoxSize + kSpacing, 0, 0, 0),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, text());
}

bool TouchCheckBox::hitButton(const QPoint& position) const
{
    return rect().contains(position);
}
