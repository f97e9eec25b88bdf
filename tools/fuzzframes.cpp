// libFuzzer target: frames and request/reply decoding must take any bytes
// without crashing, a decoded request must survive re-encoding, and a reply
// that echoes its owner data and data must go out whole. Seeds:
// tests/fuzz-corpus/.

#include "common/frame.h"
#include "common/providerprotocol.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const FrameParse frame = parseFrame(bytes, kMaxRequestBody);
    if (frame.status == FrameParse::Complete && frame.frameSize > bytes.size())
        __builtin_trap();
    const Decoded<ProviderRequest> request = decodeRequest(bytes);
    if (request.value) {
        const Decoded<ProviderRequest> again = decodeRequest(encodeRequest(*request.value));
        if (!again.value)
            __builtin_trap();
        ProviderReply reply;
        reply.id = request.value->id;
        reply.ownerData = request.value->ownerData;
        reply.data = request.value->data;
        const Decoded<ProviderReply> echoed = decodeReply(encodeReply(reply));
        if (!echoed.value || !echoed.value->ok)
            __builtin_trap();
    }
    decodeReply(bytes);
    return 0;
}
