// Arbitrary bytes as a store file through the loader and the record display, scrambled and plain;
// the first line also goes through normalising and sealing, which must then pass its own check.
#include "datastore/recordstore.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const size_t length = size - 1;

    TDsdRecordStore store;
    store.ScrambleLines = data[0] & 1;
    store.Locale = QLocale::c();
    store.LoadBytes(bytes, length);
    // Each record is a line with its LF.
    if (store.RecordCount() >
        static_cast<uint32_t>(QByteArray(bytes, static_cast<qsizetype>(length)).count('\n')))
        __builtin_trap();
    for (uint32_t i = 0; i < store.RecordCount(); ++i) {
        if (store.Entry(i + 1).Line <= store.Entry(i).Line || store.Entry(i + 1).Line > length)
            __builtin_trap();
        if (store.RawLine(i).size() > MaxLineExamined)
            __builtin_trap();
        (void)store.DsdRecordObtain(i);
    }
    if ((store.FileVerdict() & VerdictFileIncomplete) &&
        !(store.Entry(store.RecordCount()).Verdict & VerdictFileIncomplete))
        __builtin_trap();

    const void *lf = std::memchr(bytes, '\n', length);
    const QByteArray record(bytes,
                            lf ? static_cast<const char *>(lf) - bytes : static_cast<qsizetype>(length));
    const QByteArray line = DsdRecordLine(7, DsdRecordFixFormatting(record));
    uint32_t last = 6;
    if (DsdRecordParse(line.constData(), static_cast<std::size_t>(line.size()), last).Verdict &
        VerdictRecordTamper)
        __builtin_trap();
    if (UnscrambleLine(ScrambleLine(line)) != line)
        __builtin_trap();
    return 0;
}
