#pragma once

#include <QObject>

#include <functional>

class QKeyEvent;
class QWidget;

// A control's Enter (focus gained), Exit (focus lost) and KeyDown events
// routed to a form's handlers, so that a form names them after control and
// event (edUserNameEnter, edPaswordKeyDown) as its other handlers are.
// Belongs to the control and goes with it. An exception from a handler goes
// on to the application object, which shows it.
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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit ControlEvents(QWidget* control);

    Handler m_onEnter;
    Handler m_onExit;
    KeyHandler m_onKeyDown;
};
