// Settings file lines: the tree walk that writes them and the preview that reads them back.
#include "SendSettings.h"

#include "base/wholefile.h"
#include "link/comms.h"
#include "link/transact.h"
#include "values/tools.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

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
    return WriteWholeFile(path, SettingsFileText(lines), error);
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

// --- checking a file before it is sent ------------------------------------------------------

namespace
{

// Registers whose writes act rather than set: keys, save, reset, passcodes, the print test, the
// session and transfer registers, calibration starts and linearisation, the clock, the record
// pointers and the product functions. A settings save never writes them.
bool IsCommandRegister(int reg)
{
    static constexpr int single[] = {0x0008, 0x0010, 0x0016, 0x0019, 0x001A, 0x004D, 0x00ED, 0x00EE,
                                     0x00EF, 0x0115, 0xB001, 0xB002, 0xB005, 0xB011, 0xB012, 0xB013};
    if (std::find(std::begin(single), std::end(single), reg) != std::end(single))
        return true;
    return (reg >= 0x0102 && reg <= 0x0107) || (reg >= 0x0150 && reg <= 0x0156) ||
           (reg >= 0x8291 && reg <= 0x8295);
}

bool HasControlCharacters(const QByteArray &line)
{
    return std::any_of(line.begin(), line.end(), [](char c) {
        const auto ch = static_cast<unsigned char>(c);
        return ch < 0x20 || ch == 0x7F;
    });
}

// "12: TEXT": the depth (1 or 2 digits), a colon and a blank, as a save writes titles.
bool ReadTitle(const QByteArray &line, int &depth, QByteArray &text)
{
    const qsizetype colon = line.indexOf(':');
    if (colon < 1 || colon > 2 || line.size() < colon + 2 || line[colon + 1] != ' ')
        return false;
    for (qsizetype i = 0; i < colon; ++i)
        if (line[i] < '0' || line[i] > '9')
            return false;
    depth = line.left(colon).toInt();
    text = line.mid(colon + 2);
    return depth >= 1;
}

QString Shown(const QByteArray &line)
{
    QByteArray shown;
    for (char c : line.left(40)) {
        const auto ch = static_cast<unsigned char>(c);
        shown += ch < 0x20 || ch == 0x7F ? ControlCharText(ch, true) : QByteArray(1, c);
    }
    return QString::fromLatin1(shown) + (line.size() > 40 ? QStringLiteral("...") : QString());
}

} // namespace

bool CheckSettingsFile(const QList<QByteArray> &lines, QString *error, bool *notSettings)
{
    auto fail = [&](qsizetype index, const QString &why, bool notOne = false) {
        if (error)
            *error =
                (notOne ? QStringLiteral("not a settings file: line %1 %2") : QStringLiteral("line %1 %2"))
                    .arg(index + 1)
                    .arg(why);
        if (notSettings)
            *notSettings = notOne;
        return false;
    };
    if (notSettings)
        *notSettings = false;
    qsizetype count = lines.size();
    while (count > 0 && lines[count - 1].isEmpty())
        --count; // blank lines at the very end are no lines
    if (count == 0) {
        if (error)
            *error = QStringLiteral("not a settings file: it is empty");
        if (notSettings)
            *notSettings = true;
        return false;
    }
    int lastDepth = 0;
    int titles = 0;
    int requests = 0;
    QByteArray title;   // the text of the last title
    int afterTitle = 0; // requests since it
    bool productReset = false;
    for (qsizetype i = 0; i < count; ++i) {
        const QByteArray &line = lines[i];
        if (HasControlCharacters(line))
            return fail(i, QStringLiteral("holds control characters (%1)").arg(Shown(line)), titles == 0);
        int depth = 0;
        QByteArray text;
        if (ReadTitle(line, depth, text)) {
            if (titles == 0 && depth != 1)
                return fail(i, QStringLiteral("is no menu title of depth 1 (\"%1\")").arg(Shown(line)), true);
            if (titles > 0 && (depth < 2 || depth > lastDepth + 1))
                return fail(
                    i,
                    QStringLiteral("is a title of depth %1 after one of depth %2").arg(depth).arg(lastDepth));
            ++titles;
            lastDepth = depth;
            title = text;
            afterTitle = 0;
            continue;
        }
        if (titles == 0)
            return fail(i, QStringLiteral("is no menu title (\"%1\")").arg(Shown(line)), true);
        Tcommsobj msg;
        if (!msg.Decode(line) || msg.Encode() != line || !msg.RequestFlag || msg.ErrorFlag || msg.HighFlag ||
            msg.Address != 0 || (msg.Command != CmdWrite && msg.Command != CmdExecute))
            return fail(i, QStringLiteral("is neither a title nor a request a settings save writes (\"%1\")")
                               .arg(Shown(line)));
        const QString reg = QString::fromLatin1(HexText(static_cast<uint32_t>(msg.Register), 4));
        if (afterTitle > 0)
            return fail(i, QStringLiteral("is a second request under one title (register %1)").arg(reg));
        ++afterTitle;
        ++requests;
        Tcommsobj decoded;
        auto next = [&](int command, int reg2) -> const Tcommsobj * {
            if (i + 1 >= count || !decoded.Decode(lines[i + 1]) || decoded.Encode() != lines[i + 1] ||
                decoded.Command != command || decoded.Register != reg2 || decoded.Address != 0 ||
                decoded.ErrorFlag || !decoded.RequestFlag || HasControlCharacters(lines[i + 1]))
                return nullptr;
            return &decoded;
        };
        if (msg.Command == CmdWrite && msg.Register == 0x00F8) {
            if (titles != 1)
                return fail(i, QStringLiteral("writes the calibration block below the first title"));
            continue;
        }
        if (msg.Command == CmdExecute && msg.Register == 0xB002 && msg.Data.isEmpty()) {
            const Tcommsobj *reset = next(CmdExecute, 0xB005);
            if (!reset || !reset->Data.isEmpty())
                return fail(i, QStringLiteral("clears the totals without the products' reset after it"));
            productReset = true;
            ++i;
            ++requests;
            continue;
        }
        const Tcommsobj *rename = productReset && msg.Command == CmdWrite && msg.Register == 0xB010
                                      ? next(CmdExecute, 0xB012)
                                      : nullptr;
        if (rename) {
            // The first product after the reset: product 1 selected and given the title's name.
            if (msg.Data != "1" || rename->Data != title)
                return fail(i, QStringLiteral("selects a product without naming the product of its title"));
            productReset = false;
            ++i;
            ++requests;
            continue;
        }
        if (msg.Command == CmdExecute && msg.Register == 0xB001 && !productReset) {
            if (msg.Data != title)
                return fail(i, QStringLiteral("adds a product named otherwise than its title (\"%1\")")
                                   .arg(Shown(msg.Data)));
            continue;
        }
        if (msg.Command == CmdExecute)
            return fail(
                i, QStringLiteral("executes register %1, which a settings file does not carry").arg(reg));
        if (IsCommandRegister(msg.Register))
            return fail(
                i, QStringLiteral("writes register %1, which acts rather than holds a setting").arg(reg));
    }
    if (requests == 0) {
        if (error)
            *error = QStringLiteral("not a settings file: it holds titles but no settings");
        if (notSettings)
            *notSettings = true;
        return false;
    }
    return true;
}
