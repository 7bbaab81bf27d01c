// Arbitrary bytes in arbitrary chunks through the frame assembler, every message through Decode.
#include "link/comms.h"
#include "link/framing.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TFrameAssembler assembler;
    Tcommsobj message;
    assembler.OnMessage = [&](const QByteArray &text) {
        if (text.size() > TFrameAssembler::MaxReplyLength)
            __builtin_trap();
        message.Decode(text);
        (void)message.Encode();
        (void)message.ErrorText();
    };
    // The first byte picks the chunk size, so the same stream arrives split in many ways.
    if (size == 0)
        return 0;
    const size_t chunk = 1 + data[0] % 37;
    for (size_t pos = 1; pos < size; pos += chunk) {
        const size_t n = pos + chunk <= size ? chunk : size - pos;
        assembler.Feed(QByteArray(reinterpret_cast<const char *>(data + pos), static_cast<qsizetype>(n)));
        if (assembler.Pending().size() > TFrameAssembler::MaxReplyLength)
            __builtin_trap();
    }
    return 0;
}
