#include "common/showmessage.h"

#include <cstdio>

namespace {

void writeToStandardError(const QString& text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

MessageHandler& currentHandler()
{
    static MessageHandler handler = writeToStandardError;
    return handler;
}

bool answerNo(const QString& text)
{
    writeToStandardError(text);
    return false;
}

QuestionHandler& currentQuestionHandler()
{
    static QuestionHandler handler = answerNo;
    return handler;
}

} // namespace

void ShowMessage(const QString& text)
{
    currentHandler()(text);
}

MessageHandler setMessageHandler(MessageHandler handler)
{
    MessageHandler previous = std::move(currentHandler());
    currentHandler() = handler ? std::move(handler) : MessageHandler(writeToStandardError);
    return previous;
}

bool AskYesNo(const QString& text)
{
    return currentQuestionHandler()(text);
}

QuestionHandler setQuestionHandler(QuestionHandler handler)
{
    QuestionHandler previous = std::move(currentQuestionHandler());
    currentQuestionHandler() = handler ? std::move(handler) : QuestionHandler(answerNo);
    return previous;
}
