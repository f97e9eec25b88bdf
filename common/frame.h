#pragma once

#include <QByteArray>
#include <QByteArrayView>

// A frame is a 4-byte big-endian body length followed by the body (one CBOR
// message). parseFrame only looks at bytes already received: the socket code
// buffers, and refuses a connection as soon as a header announces a body over
// the limit, before any of that body is buffered.

inline constexpr qsizetype kFrameHeaderSize = 4;
inline constexpr qsizetype kMaxRequestBody = 4 * 1024 * 1024; // a terminal's request
inline constexpr qsizetype kMaxReplyBody = 256 * 1024 * 1024; // a server's reply (row sets)

struct FrameParse
{
    enum Status
    {
        Complete,
        Incomplete,
        TooLarge
    };
    Status status = Incomplete;
    qsizetype bodySize = 0;  // announced size, once the header is in
    qsizetype frameSize = 0; // header + body, when Complete
    QByteArrayView body;     // when Complete; points into the buffer
};

FrameParse parseFrame(QByteArrayView buffer, qsizetype maxBody);
// The room a receive buffer that holds held (from the start of a frame)
// should have to take more bytes: what they need, grown by a quarter at most
// and never past the end of the frame whose header is in, so that a peer
// that stops half-way leaves about what it has sent, not what it announced.
qsizetype receiveCapacity(QByteArrayView held, qsizetype more, qsizetype maxBody);
QByteArray makeFrame(QByteArrayView body);
