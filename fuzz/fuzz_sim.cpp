// The simulated instrument under arbitrary input: bytes through its request splitter into the
// instrument (time moving on between requests), or an arbitrary menu description to load and walk.
#include "instrument.h"
#include "splitter.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray input(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));
    TVornSimConfig cfg;
    cfg.Records = 20;
    cfg.SafePasscode = 0; // reach the setting writes too
    cfg.FullPasscode = data[0] & 1 ? 0 : -1;
    if (data[0] & 2) {
        cfg.ModelJson = input;
        TVornInstrument dev(cfg);
        QString error;
        if (!dev.Setup(&error))
            return 0;
        // Walk whatever menus the description made.
        dev.Request("201200EF:FF");
        for (int i = 0; i < dev.Model().ItemCount(); ++i) {
            const TSimItem &item = dev.Model().Item(i);
            const QByteArray reg = QByteArray::number(item.Register, 16).rightJustified(4, '0').toUpper();
            for (const char *cmd : {"14", "15", "01", "02", "03", "05", "0F", "11"})
                (void)dev.Request("20" + QByteArray(cmd) + reg + ":0000");
            (void)dev.Request("200D" + reg + ":00");
            (void)dev.Request("2012" + reg + ":0001");
        }
        return 0;
    }
    TVornInstrument dev(cfg);
    QString error;
    if (!dev.Setup(&error))
        __builtin_trap(); // the built-in model always loads
    TSimRequestSplitter splitter;
    splitter.OnRequest = [&](const QByteArray &text, bool, bool oversized) {
        if (text.size() > TSimRequestSplitter::MaxRequestLength)
            __builtin_trap();
        const TSimAnswer a = oversized ? dev.TooLong(text) : dev.Handle(text);
        if (a.HasReply)
            (void)a.Reply.Encode();
        dev.AdvanceTime(static_cast<int64_t>(text.size()) * 37);
        (void)dev.LogSample();
    };
    splitter.Feed(input);
    return 0;
}
