#include "controlevents.h"

#include <QKeyEvent>
#include <QWidget>

ControlEvents::ControlEvents(QWidget* control) : QObject(control)
{
    control->installEventFilter(this);
}

ControlEvents& ControlEvents::of(QWidget* control)
{
    if (auto* existing = control->findChild<ControlEvents*>(QString(), Qt::FindDirectChildrenOnly))
        return *existing;
    return *new ControlEvents(control);
}

bool ControlEvents::isReturn(const QKeyEvent& key)
{
    return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
}

bool ControlEvents::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != parent())
        return false;
    switch (event->type()) {
    case QEvent::FocusIn:
        if (m_onEnter)
            m_onEnter();
        break;
    case QEvent::FocusOut:
        if (m_onExit)
            m_onExit();
        break;
    case QEvent::KeyPress:
        if (m_onKeyDown)
            return m_onKeyDown(*static_cast<QKeyEvent*>(event));
        break;
    default:
        break;
    }
    return false;
}
