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
