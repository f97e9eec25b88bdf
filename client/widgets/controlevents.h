#pragma once

#include <QObject>

#include <functional>

class QKeyEvent;
class QWidget;

// A control's Enter (focus gained), Exit (focus lost) and KeyDown events
// routed to a form's handlers, so that a form names them after control and
// event (edUserNameEnter, edArtikulsExit) as its other handlers are. Belongs
// to the control and goes with it. What a handler throws is shown
// (RunHandler); a key handler that throws counts as having dealt with the key.
//
// Exit is the user leaving the field for another control of the window (Tab,
// Return, a tap, the program moving the focus), not the window losing the
// activation to a message box, a drop-down or another window: a look-up on
// Exit that shows "not found" must not run again because its own box took
// the activation. Enter likewise ignores the activation coming back.
class ControlEvents final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ControlEvents)

public:
    using Handler = std::function<void()>;
    // Returns true when it has dealt with the key, which then goes no further.
    using KeyHandler = std::function<bool(QKeyEvent& key)>;

    // The events of control, made on first use.
    static ControlEvents& of(QWidget* control);

    void setOnEnter(Handler handler) { m_onEnter = std::move(handler); }
    void setOnExit(Handler handler) { m_onExit = std::move(handler); }
    void setOnKeyDown(KeyHandler handler) { m_onKeyDown = std::move(handler); }

    // Return from the keyboard, the keypad or a scanner ending its code.
    static bool isReturn(const QKeyEvent& key);
    static bool isDown(const QKeyEvent& key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit ControlEvents(QWidget* control);

    Handler m_onEnter;
    Handler m_onExit;
    KeyHandler m_onKeyDown;
    bool m_entered = false; // Enter has run and no Exit since
};
