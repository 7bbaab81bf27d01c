// The settings printout's lines and pages (see printlines.h).
#include "printlines.h"

namespace
{

void AddNode(const TMenuNode &node, int depth, QList<QByteArray> &lines)
{
    if (node.Text == PlaceholderText && node.Children.empty() && !node.Data)
        return;
    lines.append(QByteArray(3 * depth, ' ') + node.Text);
    for (const auto &child : node.Children)
        AddNode(*child, depth + 1, lines);
}

} // namespace

QByteArray SettingsPrintHeader(const QByteArray &model, const QByteArray &serial, const QByteArray &version)
{
    return ' ' + model + " SN:" + serial + " Version " + version + ' ';
}

QList<QByteArray> SettingsTreePrintLines(const TMenuTree &tree)
{
    QList<QByteArray> lines;
    for (const auto &root : tree)
        AddNode(*root, 1, lines);
    return lines;
}

QList<QByteArray> SettingsPrintout(const QByteArray &header, const QList<QByteArray> &treeLines,
                                   int linesPerPage)
{
    if (linesPerPage < 1)
        linesPerPage = 1;
    QList<QByteArray> counted;
    counted << header << QByteArray();
    counted += treeLines;
    QList<QByteArray> out{QByteArray(), QByteArray(), QByteArray()};
    int count = 0;
    for (const QByteArray &line : counted) {
        // The break comes before the line that would not fit, so no page is left empty at the end.
        if (count == linesPerPage) {
            out << FormFeedLine << QByteArray() << QByteArray() << QByteArray();
            count = 0;
        }
        out << line;
        ++count;
    }
    return out;
}
