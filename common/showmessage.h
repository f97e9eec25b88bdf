#pragma once

#include <QString>

#include <functional>

// The one message box of both programs. Library code calls ShowMessage; the
// program installs the handler that shows a box (a windowed program) or
// writes to standard error (a headless one, the default). Tests install a
// handler that records the texts instead.
using MessageHandler = std::function<void(const QString&)>;

void ShowMessage(const QString& text);

// Installs a handler and returns the previous one.
MessageHandler setMessageHandler(MessageHandler handler);
