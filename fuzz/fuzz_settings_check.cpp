// Arbitrary bytes checked as a settings file before anything is sent: a refusal
// names a line of the file (or says it is no settings file), and a file taken
// holds only titles and requests a save writes, none with control characters,
// and is taken again when written out and read back.
#include "link/comms.h"
#include "settings/SendSettings.h"

#include <QString>
#include <cstddef>
#include <cstdint>

namespace
{

bool HasControls(const QByteArray &line)
{
    for (char c : line) {
        const auto ch = static_cast<unsigned char>(c);
        if (ch < 0x20 || ch == 0x7F)
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QList<QByteArray> lines = SettingsFileLines(text);
    QString error;
    bool notSettings = false;
    if (!CheckSettingsFile(lines, &error, &notSettings)) {
        // "line N ..." with N a line of the file, or a whole-file verdict.
        if (error.isEmpty())
            __builtin_trap();
        if (error.startsWith(QLatin1String("line ")) ||
            error.startsWith(QLatin1String("not a settings file: line "))) {
            const qsizetype at = error.indexOf(QLatin1String("line ")) + 5;
            bool ok = false;
            const qsizetype end = error.indexOf(QLatin1Char(' '), at);
            const int number = error.mid(at, end - at).toInt(&ok);
            if (!ok || number < 1 || number > lines.size())
                __builtin_trap();
        } else if (!notSettings) {
            __builtin_trap();
        }
        return 0;
    }
    int requests = 0;
    for (const QByteArray &line : lines) {
        if (line.isEmpty())
            continue;
        if (HasControls(line))
            __builtin_trap();
        if (IsReadableLine(line))
            continue;
        Tcommsobj msg;
        if (!msg.Decode(line) || msg.Encode() != line ||
            (msg.Command != CmdWrite && msg.Command != CmdExecute))
            __builtin_trap();
        ++requests;
    }
    if (requests == 0)
        __builtin_trap();
    // Written as a save writes it and read back: the same lines, taken again.
    const QList<QByteArray> again = SettingsFileLines(SettingsFileText(lines));
    if (again != lines || !CheckSettingsFile(again, nullptr))
        __builtin_trap();
    QList<QByteArray> preview = again;
    (void)PreviewSettings(preview);
    for (const QByteArray &line : preview)
        if (IsReadableLine(line))
            __builtin_trap();
    return 0;
}
