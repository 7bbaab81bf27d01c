// Fuzz target: the front panel's inputs from outside. The bytes are a segment-map cache file
// (refused or read, then rescaled and rendered) and a display register value (decoded, and the
// lit states must survive encoding and decoding again).
#include "display/LumBitmap.h"
#include "display/VornTables.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryFile>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    static QTemporaryFile file;
    static const bool opened = file.open();
    if (opened) {
        file.resize(0);
        file.seek(0);
        file.write(bytes);
        file.flush();
        TLumBitmap map;
        if (map.LoadFromFile(file.fileName())) {
            if (qint64(map.Width) * map.Height * 2 + 8 != qint64(size))
                std::abort(); // a map was read from a file of the wrong size
            TLumBitmap scaled;
            scaled.SetSize(1 + int(size % 37), 1 + int(size % 23));
            scaled.StretchFrom(map);
            TLumRowMap rows;
            rows.From(scaled);
            TLcdStates states{};
            TLumLookUp lookUp;
            FillLookUp(states, lookUp);
            QByteArray out(qsizetype(rows.Width) * rows.Height, '\0');
            RenderLookUp(rows, lookUp, reinterpret_cast<uint8_t *>(out.data()), rows.Width);
        }
    }

    TLcdStates states{};
    if (DecodeDisplayValue(bytes, states)) {
        TLcdStates again{};
        if (!DecodeDisplayValue(EncodeDisplayValue(states), again) || again != states)
            std::abort();
    } else if (bytes.size() >= VornDisplayValueLength) {
        std::abort();
    }
    return 0;
}
