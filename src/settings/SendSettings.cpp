// Settings file lines: the tree walk that writes them and the preview that reads them back.
#include "SendSettings.h"

#include "link/comms.h"
#include "link/tools.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace
{

constexpr int ProductMenuRegister = 0xB100;
// Preview nesting beyond this depth is kept flat (a damaged file must not nest without end).
constexpr int MaxPreviewDepth = 64;

QByteArray Request(int command, int reg, const QByteArray &data)
{
    Tcommsobj msg;
    msg.RequestFlag = true;
    msg.Address = 0;
    msg.Command = command;
    msg.Register = reg;
    msg.Data = data;
    return msg.Encode();
}

struct TFileWalk {
    const QByteArray &CalBlock;
    QList<QByteArray> &Lines;
    bool ProductReset = false;

    void Node(const TMenuNode &node, int depth, bool isRoot)
    {
        Lines.append(QByteArray::number(depth) + ": " + node.Text);
        if (isRoot && !CalBlock.isEmpty())
            Lines.append(Request(CmdWrite, 0x00F8, CalBlock));
        const TMenuItemData *item = node.Data.get();
        if (item && item->Readable) {
            if (item->RegisterNumber() == ProductMenuRegister)
                ProductLines(node);
            if (item->HasValue)
                Lines.append(Request(CmdWrite, item->RegisterNumber(), item->Value));
        }
        for (const auto &child : node.Children)
            Node(*child, depth + 1, false);
    }

    void ProductLines(const TMenuNode &node)
    {
        const uint32_t k = HexToInt(node.Data->MenuKey);
        if (k == 0) {
            Lines.append(Request(CmdExecute, 0xB002, {}));
            Lines.append(Request(CmdExecute, 0xB005, {}));
            ProductReset = true;
        } else if (k >= 2) {
            if (ProductReset) {
                Lines.append(Request(CmdWrite, 0xB010, "1"));
                Lines.append(Request(CmdExecute, 0xB012, node.Text));
                ProductReset = false;
            } else {
                Lines.append(Request(CmdExecute, 0xB001, node.Text));
            }
        }
    }
};

} // namespace

void BuildSettingsFile(const TMenuTree &tree, const QByteArray &calBlock, QList<QByteArray> &lines)
{
    if (tree.empty())
        return;
    TFileWalk walk{calBlock, lines};
    walk.Node(*tree.front(), 1, true);
}

QByteArray SettingsFileText(const QList<QByteArray> &lines)
{
    QByteArray text;
    for (const QByteArray &line : lines)
        text += line + "\r\n";
    return text;
}

QList<QByteArray> SettingsFileLines(const QByteArray &text)
{
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines)
        if (line.endsWith('\r'))
            line.chop(1);
    return lines;
}

QString SettingsFileName(const QString &name)
{
    return QFileInfo(name).suffix().isEmpty() ? name + QStringLiteral(".WSD") : name;
}

bool WriteSettingsFile(const QString &path, const QList<QByteArray> &lines, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(SettingsFileText(lines)) < 0 || !file.commit()) {
        if (error)
            *error = QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool ReadSettingsFile(const QString &path, QList<QByteArray> &lines, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    lines = SettingsFileLines(file.readAll());
    return true;
}

bool IsReadableLine(const QByteArray &line)
{
    const qsizetype colon = line.indexOf(':');
    return colon < 0 || colon <= 2;
}

TMenuTree PreviewSettings(QList<QByteArray> &lines)
{
    // The titles leave the list in one pass; the request lines stay in their order.
    QList<QByteArray> titles;
    QList<QByteArray> requests;
    for (QByteArray &line : lines)
        (IsReadableLine(line) ? titles : requests).append(std::move(line));
    lines = std::move(requests);

    TMenuTree tree;
    if (titles.isEmpty())
        return tree;
    auto textOf = [](const QByteArray &line) {
        const qsizetype colon = line.indexOf(':');
        return colon < 0 ? line : line.mid(colon + 1);
    };
    auto root = std::make_unique<TMenuNode>();
    root->Text = textOf(titles.first());
    tree.push_back(std::move(root));

    // One frame per open level: the parent that receives titles of this depth and the node last
    // added there. Worked without recursion so that no file can exhaust the stack.
    struct TLevel {
        TMenuNode *Parent;
        int64_t Depth;
        TMenuNode *Last;
    };
    QList<TLevel> levels{{tree.front().get(), 2, nullptr}};
    qsizetype i = 1;
    while (i < titles.size()) {
        const QByteArray &line = titles[i];
        const qsizetype colon = line.indexOf(':');
        const int64_t d = DigitsToInt(colon < 0 ? line : line.left(colon));
        TLevel &top = levels.last();
        if (d > top.Depth && levels.size() < MaxPreviewDepth) {
            // Deeper: below the node added last at this level, or the level's parent when none was.
            levels.append({top.Last ? top.Last : top.Parent, d, nullptr});
            continue;
        }
        if (d < top.Depth && levels.size() > 1) {
            levels.removeLast();
            continue;
        }
        // Same depth, or a title shallower than the first level: it joins the current level.
        top.Last = top.Parent->AddChild(textOf(line));
        ++i;
    }
    return tree;
}

bool HasCalibrationLine(const QList<QByteArray> &requests)
{
    return !requests.isEmpty() && requests.first().contains(MsgCalibrationLine);
}

bool HasProductReset(const QList<QByteArray> &requests)
{
    for (const QByteArray &line : requests)
        if (line.contains(MsgProductReset))
            return true;
    return false;
}

namespace
{

bool IsRequest(const QByteArray &line, int command, int reg)
{
    Tcommsobj msg;
    return msg.Decode(line) && msg.Command == command && msg.Register == reg;
}

} // namespace

QList<QByteArray> OrderForSend(const QList<QByteArray> &requests)
{
    qsizetype reset = -1;
    for (qsizetype i = 0; i < requests.size() && reset < 0; ++i)
        if (IsRequest(requests[i], CmdExecute, 0xB005))
            reset = i;
    if (reset < 0)
        return requests;
    // The first product re-created: an add, or the first product's select-and-rename pair.
    qsizetype first = reset + 1;
    while (first < requests.size() && !IsRequest(requests[first], CmdExecute, 0xB001) &&
           !IsRequest(requests[first], CmdExecute, 0xB012) &&
           !(IsRequest(requests[first], CmdWrite, 0xB010) && first + 1 < requests.size() &&
             IsRequest(requests[first + 1], CmdExecute, 0xB012)))
        ++first;
    if (first >= requests.size())
        return requests;
    QList<QByteArray> ordered = requests.mid(0, reset + 1);
    ordered += requests.mid(first);
    ordered += requests.mid(reset + 1, first - reset - 1);
    return ordered;
}
