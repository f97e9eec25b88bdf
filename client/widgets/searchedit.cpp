#include "client/widgets/searchedit.h"

#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace {

// A magnifier drawn rather than shipped, sharp at any size.
QIcon magnifier(int size)
{
    QPixmap pixmap(size * 2, size * 2);
    pixmap.setDevicePixelRatio(2.0);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x1B, 0x4F, 0x7A), size / 9.0, Qt::SolidLine, Qt::RoundCap));
    const qreal r = size * 0.28;
    const QPointF centre(size * 0.42, size * 0.42);
    painter.drawEllipse(centre, r, r);
    painter.drawLine(centre + QPointF(r * 0.72, r * 0.72), QPointF(size * 0.86, size * 0.86));
    painter.end();
    return QIcon(pixmap);
}

} // namespace

SearchEdit::SearchEdit(QWidget* parent) : QLineEdit(parent), m_button(new QToolButton(this))
{
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setCursor(Qt::ArrowCursor);
    m_button->setAutoRaise(true);
    m_button->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0; }"));
}

void SearchEdit::resizeEvent(QResizeEvent* event)
{
    QLineEdit::resizeEvent(event);
    // A square button as high as the field, the text kept clear of it.
    const int side = height() - 6;
    m_button->setGeometry(width() - side - 3, 3, side, side);
    m_button->setIcon(magnifier(side));
    m_button->setIconSize(QSize(side - 8, side - 8));
    setTextMargins(0, 0, side, 0);
}
