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

// A question answered Yes or No, through a hook of its own in the same way:
// the windowed programs install a box with the two buttons; without one (a
// headless program) the text is written out and the answer is No, so that
// nothing is agreed to that nobody saw.
using QuestionHandler = std::function<bool(const QString&)>;

bool AskYesNo(const QString& text);

// Installs a handler and returns the previous one.
QuestionHandler setQuestionHandler(QuestionHandler handler);
