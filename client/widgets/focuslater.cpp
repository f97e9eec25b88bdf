#include "client/widgets/focuslater.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace {

constexpr int kFocusDelay = 10;

QPointer<QWidget>& rememberedControl()
{
    static QPointer<QWidget> control;
    return control;
}

QPointer<QTimer>& handedOverTimer()
{
    static QPointer<QTimer> timer;
    return timer;
}

QTimer* ownTimer()
{
    static QPointer<QTimer> timer;
    if (!timer) {
        timer = new QTimer(QCoreApplication::instance());
        timer->setInterval(kFocusDelay);
        QObject::connect(timer, &QTimer::timeout, timer, &FocusRememberedControl);
    }
    return timer;
}

QTimer* focusTimer()
{
    return handedOverTimer() ? handedOverTimer().data() : ownTimer();
}

} // namespace

void FocusLater(QWidget* control)
{
    rememberedControl() = control;
    focusTimer()->start();
}

void FocusRememberedControl()
{
    focusTimer()->stop();
    if (QWidget* control = rememberedControl())
        control->setFocus(Qt::OtherFocusReason);
}

void SetFocusLaterTimer(QTimer* timer)
{
    handedOverTimer() = timer;
}
