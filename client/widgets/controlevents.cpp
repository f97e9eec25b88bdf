#include "client/widgets/controlevents.h"

#include "client/widgets/handlerguard.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QWidget>

namespace {

// The focus moving because a window or a popup took or gave back the
// activation, which the user did not ask of this field.
bool isActivationChange(const QEvent* event)
{
    const Qt::FocusReason reason = static_cast<const QFocusEvent*>(event)->reason();
    return reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason;
}

} // namespace

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

bool ControlEvents::isDown(const QKeyEvent& key)
{
    return key.key() == Qt::Key_Down;
}

bool ControlEvents::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != parent())
        return false;
    switch (event->type()) {
    case QEvent::FocusIn:
        // The activation coming back enters the field only when it had not
        // been entered yet: the first focus of a window just opened comes so.
        if (isActivationChange(event) && m_entered)
            break;
        m_entered = true;
        if (m_onEnter)
            RunHandler(m_onEnter);
        break;
    case QEvent::FocusOut:
        if (isActivationChange(event))
            break;
        m_entered = false;
        if (m_onExit)
            RunHandler(m_onExit);
        break;
    case QEvent::KeyPress:
        if (m_onKeyDown) {
            bool handled = true;
            RunHandler([&] { handled = m_onKeyDown(*static_cast<QKeyEvent*>(event)); });
            return handled;
        }
        break;
    default:
        break;
    }
    return false;
}
