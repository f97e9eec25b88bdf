#pragma once

#include "gui/guiapplication.h"

#include <QObject>

#include <exception>
#include <utility>

// Runs one event handler of a window. What it throws is shown in the
// application's error box and goes no further: Qt does not promise that an
// exception leaving a slot or an event handler is safe. Every control is
// wired to its handler through here (TouchForm::onClick, ControlEvents, wire).
template <typename Handler> void RunHandler(Handler&& handler) noexcept
{
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        GuiApplication::showError(GuiApplication::exceptionText(std::current_exception()));
    }
}

// Connects a signal to a handler that takes no arguments, through RunHandler.
template <typename Sender, typename Signal, typename Handler>
QMetaObject::Connection wire(Sender* sender, Signal signal, const QObject* context, Handler handler)
{
    return QObject::connect(sender, signal, context,
                            [handler = std::move(handler)] { RunHandler(handler); });
}
