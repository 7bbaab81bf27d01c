// Fuzz target: the ini reader and writer. Any bytes parse; the text written back parses to the
// same text; lookups and a set value never break the file's other lines.
#include "base/inifile.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    TIniFile ini;
    ini.Parse(input);
    const QByteArray text = ini.Text();
    TIniFile again;
    again.Parse(text);
    if (again.Text() != text)
        std::abort();
    // Names taken from the input itself, so that existing sections and keys are hit.
    const QByteArray section = input.left(8), key = input.mid(8, 8);
    (void)ini.Value(section, key, "d", true);
    ini.SetValue(section, key, input.mid(16, 32));
    TIniFile third;
    third.Parse(ini.Text());
    if (third.Text() != ini.Text())
        std::abort();
    return 0;
}
