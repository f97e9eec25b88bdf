#include "common/frame.h"

#include <QtEndian>

FrameParse parseFrame(QByteArrayView buffer, qsizetype maxBody)
{
    FrameParse result;
    if (buffer.size() < kFrameHeaderSize)
        return result;
    result.bodySize = qFromBigEndian<quint32>(buffer.data());
    if (result.bodySize > maxBody) {
        result.status = FrameParse::TooLarge;
        return result;
    }
    if (buffer.size() - kFrameHeaderSize < result.bodySize)
        return result;
    result.status = FrameParse::Complete;
    result.frameSize = kFrameHeaderSize + result.bodySize;
    result.body = buffer.sliced(kFrameHeaderSize, result.bodySize);
    return result;
}

qsizetype receiveCapacity(QByteArrayView held, qsizetype more, qsizetype maxBody)
{
    const qsizetype needed = held.size() + more;
    qsizetype frameEnd = needed;
    const FrameParse frame = parseFrame(held, maxBody);
    if (frame.status == FrameParse::Incomplete && held.size() >= kFrameHeaderSize)
        frameEnd = kFrameHeaderSize + frame.bodySize;
    return qMax(needed, qMin(frameEnd, needed + needed / 4));
}

QByteArray makeFrame(QByteArrayView body)
{
    QByteArray frame(kFrameHeaderSize, Qt::Uninitialized);
    qToBigEndian<quint32>(quint32(body.size()), frame.data());
    frame.append(body);
    return frame;
}
