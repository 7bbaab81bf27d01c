// Arbitrary bytes read as a settings file: the preview must take every title out of the request
// lines, keep the requests in order, and the tree it builds must write out again.
#include "settings/SendSettings.h"
#include "settings/settingstree.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QList<QByteArray> lines = SettingsFileLines(text);
    QList<QByteArray> requests;
    for (const QByteArray &line : lines)
        if (!IsReadableLine(line))
            requests.append(line);
    const qsizetype titles = lines.size() - requests.size();

    TMenuTree tree = PreviewSettings(lines);
    if (lines != requests)
        __builtin_trap();
    const qsizetype shown = IndentedTreeLines(tree).size();
    if (shown != titles)
        __builtin_trap();
    (void)HasCalibrationLine(lines);
    (void)HasProductReset(lines);

    // The preview tree written as a file again has one title line per node.
    QList<QByteArray> again;
    BuildSettingsFile(tree, "CAL", again);
    if (!tree.empty() && again.size() != shown + 1)
        __builtin_trap();
    return 0;
}
