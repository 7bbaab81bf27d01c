// The register catalogue's value access: request texts, reply reading, cached queries, the active
// product kept over reads, and the instrument facts read from fixed registers (the menu walk is in
// menuwalk.cpp).
#include "device.h"

#include "link/comms.h"
#include "menumemory.h"
#include "values/tools.h"

#include <QString>
#include <algorithm>

namespace
{

// Blanks and control characters are trimmed from both ends of reply data.
QByteArray TrimControls(const QByteArray &text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && static_cast<unsigned char>(text[from]) <= 0x20)
        ++from;
    while (to > from && static_cast<unsigned char>(text[to - 1]) <= 0x20)
        --to;
    return text.mid(from, to - from);
}

// Only control characters are cut from the ends: the blanks of a string value are its own.
QByteArray TrimControlsOnly(const QByteArray &text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && static_cast<unsigned char>(text[from]) < 0x20)
        ++from;
    while (to > from && static_cast<unsigned char>(text[to - 1]) < 0x20)
        --to;
    return text.mid(from, to - from);
}

constexpr int ProductMenuRegister = 0xB100;
constexpr int ActiveProductRegister = 0xB010;
// Rounds of identity reads while some replies are lost and others come.
constexpr int IdentityRounds = 2;

// The name in an item-name reply: after the type code and the permission (4 characters), every
// character kept.
QByteArray ItemNameOf(const QByteArray &raw)
{
    qsizetype from = 0;
    while (from < raw.size() && raw[from] == ' ')
        ++from;
    return raw.mid(from + 4);
}

bool IsOptionsType(int type)
{
    return type == 7 || type == 17;
}

} // namespace

// --- TDevice ------------------------------------------------------------------------------------

TDevice::TDevice(QObject *parent) : QObject(parent)
{
    ResetFacts();
}

TDevice::~TDevice() = default;

void TDevice::SetRegister(int reg)
{
    CurrentRegister = HexText(static_cast<uint32_t>(reg), 4);
}

void TDevice::SetReply(const QByteArray &text)
{
    ReplyLine = text;
    const qsizetype colon = text.indexOf(':');
    ReplyRaw = colon < 0 ? QByteArray() : TrimControlsOnly(text.mid(colon + 1, 300));
    ReplyData = TrimControls(ReplyRaw);
}

QByteArray TDevice::ItemName() const
{
    return ItemNameOf(ReplyRaw);
}

bool TDevice::ReplyFailed() const
{
    if (ReplyLine.size() < 2)
        return true;
    return (HexToInt(ReplyLine.left(2)) & 0x40) != 0;
}

int32_t TDevice::ReplyHex() const
{
    return static_cast<int32_t>(HexToInt(ReplyData));
}

int32_t TDevice::ReplyHexSigned16() const
{
    return static_cast<int16_t>(static_cast<uint16_t>(HexToInt(ReplyData) & 0xFFFF));
}

void TDevice::SetReplyHex(int32_t value)
{
    ReplyData = ReplyRaw = HexText(static_cast<uint32_t>(value), 8);
    Missing = false;
}

void TDevice::SetReplyText(const QByteArray &text)
{
    ReplyData = ReplyRaw = text;
    Missing = false;
}

void TDevice::Send(int command, const QByteArray &data)
{
    const bool selects = SelectsProduct(command, CurrentRegister, data);
    if (selects)
        NoteActiveProduct();
    else if (ProductSelected && command != CmdWrite && HexToInt(CurrentRegister) == ActiveProductRegister)
        RestoreProduct(false); // the active product is read as the user left it, not as reads left it
    Exchange(AddressTemplate + HexText(static_cast<uint32_t>(command), 2) + CurrentRegister + ':' + data,
             command);
    if (selects) {
        ProductSelected = true;
        if (KeepDepth == 0)
            RestoreProduct(true);
    }
}

// --- the active product -------------------------------------------------------------------------

bool TDevice::SelectsProduct(int command, const QByteArray &reg, const QByteArray &data)
{
    return (command == CmdReadMenu || command == CmdReadItem) &&
           HexToInt(reg) == static_cast<uint32_t>(ProductMenuRegister) && HexToInt(data) >= 2;
}

void TDevice::BeginKeepProduct()
{
    if (KeepDepth++ > 0)
        return;
    KeptNoted = false;
    KeptActive.clear();
    ProductSelected = false;
}

void TDevice::EndKeepProduct()
{
    if (KeepDepth <= 0 || --KeepDepth > 0)
        return;
    RestoreProduct(true);
}

void TDevice::SetKeptProduct(const QByteArray &value)
{
    KeptActive = value;
    KeptNoted = true;
}

void TDevice::NoteActiveProduct()
{
    if (KeptNoted || !OnExchange)
        return;
    TRegisterKeeper keep(*this);
    SetRegister(ActiveProductRegister);
    ReadValue();
    // Noted once, also when unreadable: a later read would see a product already selected.
    KeptNoted = true;
    KeptActive = ReplyFailed() ? QByteArray() : ReplyData;
}

void TDevice::RestoreProduct(bool forget)
{
    const bool selected = ProductSelected;
    const bool noted = KeptNoted;
    const QByteArray wanted = KeptActive;
    ProductSelected = false;
    if (forget) {
        KeptNoted = false;
        KeptActive.clear();
    }
    if (!selected)
        return;
    // The caller may still look at the reply of the request that selected the product.
    TRegisterKeeper keep(*this);
    const QByteArray line = ReplyLine, data = ReplyData, raw = ReplyRaw;
    const bool missing = Missing;
    ProductRestoreFailed = true;
    if (noted && !wanted.isEmpty()) {
        SetRegister(ActiveProductRegister);
        ReadValue();
        if (!ReplyFailed()) {
            if (HexToInt(ReplyData) == HexToInt(wanted)) {
                ProductRestoreFailed = false;
            } else {
                WriteValue(wanted);
                ProductRestoreFailed = ReplyFailed();
            }
        }
    }
    ReplyLine = line;
    ReplyData = data;
    ReplyRaw = raw;
    Missing = missing;
}

void TDevice::Exchange(const QByteArray &request, int command)
{
    Missing = true;
    // After an answer against a remembered structure the read goes on without sending: it is
    // thrown away and made again in full.
    if (!OnExchange || GaveUp || (Memory && Memory->Mismatched())) {
        SetReply({});
        return;
    }
    const bool read = command != CmdWrite && command != CmdExecute;
    const int attempts = read ? std::max(1, ReadAttempts) : 1;
    for (int i = 0; i < attempts; ++i) {
        ++RequestsSent;
        const QByteArray reply = OnExchange(request);
        // A reply to another query of the same register (its permission before its value, say)
        // names another command and is not this one's.
        Tcommsobj decoded;
        if (reply.isEmpty() || (decoded.Decode(reply) && decoded.Command != command))
            continue;
        SetReply(reply);
        Missing = false;
        return;
    }
    SetReply({});
    if (read && GiveUpWhenUnanswered)
        GaveUp = true;
}

TMenuCacheItem &TDevice::CacheFor(const QByteArray &reg, bool *created)
{
    auto &slot = Cache[reg.toUpper()];
    if (created)
        *created = !slot;
    if (!slot)
        slot = std::make_unique<TMenuCacheItem>();
    return *slot;
}

const TMenuCacheItem *TDevice::CacheEntry(const QByteArray &reg) const
{
    const auto it = Cache.find(reg.toUpper());
    return it == Cache.end() ? nullptr : it->second.get();
}

void TDevice::ReadType()
{
    TMenuCacheItem &entry = CacheFor(CurrentRegister);
    if (entry.ValidBits & TMenuCacheItem::TypeValid) {
        ReplyLine = "20";
        SetReplyText(entry.TypeCode);
        return;
    }
    Send(CmdReadType, {});
    if (!ReplyFailed()) {
        entry.TypeCode = ReplyData;
        entry.ValidBits |= TMenuCacheItem::TypeValid;
    }
}

void TDevice::ReadMinimum()
{
    TMenuCacheItem &entry = CacheFor(CurrentRegister);
    if (entry.ValidBits & TMenuCacheItem::MinimumValid) {
        ReplyLine = "20";
        SetReplyHex(entry.Minimum);
        return;
    }
    Send(CmdReadMinimum, {});
    if (!ReplyFailed()) {
        entry.Minimum = ReplyHex();
        entry.ValidBits |= TMenuCacheItem::MinimumValid;
    }
}

void TDevice::ReadMaximum()
{
    TMenuCacheItem &entry = CacheFor(CurrentRegister);
    if (entry.ValidBits & TMenuCacheItem::MaximumValid) {
        ReplyLine = "20";
        SetReplyHex(entry.Maximum);
        return;
    }
    Send(CmdReadLimit, {});
    if (!ReplyFailed()) {
        entry.Maximum = ReplyHex();
        entry.ValidBits |= TMenuCacheItem::MaximumValid;
    }
}

void TDevice::ReadLiteral()
{
    Send(CmdReadFormatted, {});
}

void TDevice::ReadOptionText(int index)
{
    Send(CmdReadOption, HexText(static_cast<uint32_t>(index), 2));
}

void TDevice::ReadPermission()
{
    Send(CmdReadPermission, {});
}

void TDevice::Execute(const QByteArray &arg)
{
    Send(CmdExecute, arg);
}

void TDevice::ReadValue()
{
    Send(CmdRead, {});
}

void TDevice::WriteValue(const QByteArray &value)
{
    Send(CmdWrite, value);
}

void TDevice::ReadMenuList()
{
    Send(CmdReadMenu, CurrentMenu);
}

void TDevice::ReadItemName()
{
    Send(CmdReadItem, CurrentMenu);
}

void TDevice::ExtendSession()
{
    if (OnExchange)
        Exchange(AddressTemplate + "1200EF:FF", CmdWrite);
}

void TDevice::RefreshMenu()
{
    if (OnExchange)
        Exchange(AddressTemplate + "1000EE:" + CurrentRegister, CmdExecute);
}

std::optional<QList<QByteArray>> TDevice::ReadOptions()
{
    bool created = false;
    TMenuCacheItem &entry = CacheFor(CurrentRegister, &created);
    if (!created && (entry.ValidBits & TMenuCacheItem::TypeValid)) {
        if (!IsOptionsType(static_cast<int>(HexToInt(entry.TypeCode))))
            return std::nullopt;
        if ((entry.ValidBits & TMenuCacheItem::OptionsValid) && entry.Options)
            return *entry.Options;
        // Known option register whose list could not be read before: try again.
    } else {
        ReadType();
        if (ReplyFailed() || !IsOptionsType(static_cast<int>(HexToInt(ReplyData))))
            return std::nullopt;
    }

    ReadMinimum();
    if (ReplyFailed())
        return QList<QByteArray>();
    const int32_t minimum = entry.Minimum;
    ReadMaximum();
    const int32_t maximum = ReplyFailed() ? 0 : entry.Maximum;

    // The range is read as unsigned when the minimum is not negative, and bounded.
    int64_t count = 0;
    if (minimum >= 0)
        count = static_cast<int64_t>(static_cast<uint32_t>(maximum)) - minimum + 1;
    else
        count = static_cast<int64_t>(maximum) - minimum + 1;
    count = std::clamp<int64_t>(count, 0, MaxOptions);

    auto options = std::make_unique<QList<QByteArray>>();
    for (int64_t k = 0; k < count; ++k) {
        ReadOptionText(static_cast<int>(static_cast<uint32_t>(minimum) + static_cast<uint32_t>(k)));
        options->append(ReplyFailed() ? QByteArray("Unknown") : ReplyData);
    }
    entry.Options = std::move(options);
    entry.ValidBits |= TMenuCacheItem::OptionsValid;
    return *entry.Options;
}

// --- instrument facts ---------------------------------------------------------------------------

void TDevice::ClearCalibrationInfo()
{
    LinPoints.fill(0);
    LinPointUnread.fill(false);
    CalZero = CalRef = CalSpan = CalSpanShown = CalDecimals = CalWeight = 0;
    CalUnits = "  ";
    CalBlock.clear();
    CalZeroKnown = CalSpanKnown = CalWeightKnown = false;
}

void TDevice::ResetFacts()
{
    ClearCalibrationInfo();
    SerialNumber.clear();
    ModelText.clear();
    VersionText.clear();
    CommsType.clear();
}

void TDevice::SetCalSpan(int32_t v)
{
    CalSpan = v;
    TRegisterKeeper keep(*this);
    SetRegister(0x0121);
    ReadValue();
    CalSpanKnown = !ReplyFailed();
    if (!CalSpanKnown)
        return;
    // Before any calibration figures are known the reference is 0: the shown span is then 0.
    CalSpanShown = CalRef == 0 ? 0 : static_cast<int32_t>(int64_t(ReplyHex()) * CalSpan / CalRef);
}

void TDevice::ReadCalibrationInfo()
{
    TRegisterKeeper keep(*this);
    ClearCalibrationInfo();
    SetRegister(0x0112);
    ReadValue();
    const bool refRead = !ReplyFailed();
    if (refRead)
        CalRef = ReplyHex();
    SetRegister(0x0025);
    ReadLiteral();
    const bool literalRead = !ReplyFailed();
    if (literalRead) {
        const QByteArray literal = ReplyData;
        CalDecimals = DecimalsIn(literal);
        // The units sit before the last two characters ("12.50 kg G").
        CalUnits = literal.size() >= 4 ? literal.mid(literal.size() - 4, 2) : QByteArray("  ");
    }
    SetRegister(0x002F);
    ReadValue();
    if (!ReplyFailed())
        CalWeight = ReplyHex();
    CalWeightKnown = literalRead && !ReplyFailed();
    SetRegister(0x00F8);
    ReadValue();
    if (!ReplyFailed())
        CalBlock = ReplyData;
    SetRegister(0x0111);
    ReadValue();
    CalZeroKnown = !ReplyFailed();
    if (CalZeroKnown)
        CalZero = ReplyHex();
    SetRegister(0x0113);
    ReadValue();
    if (!ReplyFailed())
        SetCalSpan(ReplyHex());
    CalSpanKnown = CalSpanKnown && refRead;
    SetRegister(0x0115);
    for (int i = 0; i < 10; ++i) {
        Execute(QByteArray::number(i));
        LinPoints[static_cast<size_t>(i)] = ReplyFailed() ? 0 : ReplyHex();
        LinPointUnread[static_cast<size_t>(i)] = ReplyMissing();
    }
}

QList<QByteArray> TDevice::LinearisationList() const
{
    QList<QByteArray> lines;
    for (int n = 1; n <= 10; ++n) {
        const int32_t point = LinPoints[static_cast<size_t>(n - 1)];
        if (LinPointUnread[static_cast<size_t>(n - 1)])
            lines.append(QString::asprintf("%2d: (not read)", n).toLatin1());
        else
            lines.append(point != 0 ? QString::asprintf("%2d: %3d%%", n, point).toLatin1()
                                    : QString::asprintf("%2d:", n).toLatin1());
    }
    return lines;
}

QByteArray TDevice::CalZeroText() const
{
    return CalZeroKnown ? SignedToDecimalText(CalZero, 4) : QByteArray("(not read)");
}

QByteArray TDevice::CalSpanText() const
{
    return CalSpanKnown ? SignedToDecimalText(CalSpanShown, 4) : QByteArray("(not read)");
}

QByteArray TDevice::CalWeightText() const
{
    return CalWeightKnown ? SignedToDecimalText(CalWeight, CalDecimals) + " " + CalUnits.trimmed()
                          : QByteArray("(not read)");
}

void TDevice::ReadIdentity()
{
    TRegisterKeeper keep(*this);
    SerialNumber.clear();
    ModelText.clear();
    VersionText.clear();
    CommsType.clear();
    struct TFact {
        int Register;
        QByteArray *Text;
        bool Asked = false; // answered or refused: not asked again
    } facts[] = {{0x0005, &SerialNumber}, {0x0003, &ModelText}, {0x0004, &VersionText}, {0x0001, &CommsType}};
    // A fact whose reply was lost is asked again while the instrument answers the others; a
    // silent instrument costs one round of time-outs, not two.
    bool answered = false;
    for (int round = 0; round < IdentityRounds; ++round) {
        bool missing = false;
        for (TFact &fact : facts) {
            if (fact.Asked)
                continue;
            SetRegister(fact.Register);
            ReadValue();
            if (ReplyMissing()) {
                missing = true;
                continue;
            }
            answered = fact.Asked = true;
            if (!ReplyFailed())
                *fact.Text =
                    fact.Register == 0x0005
                        ? QByteArray::number(static_cast<uint32_t>(ReplyHex())) // all 32 bits, no sign
                        : ReplyData;
        }
        if (!answered || !missing)
            return;
    }
}

// --- data-store pointers ------------------------------------------------------------------------

bool TDevice::ExecuteInto(int reg, const QByteArray &arg, QByteArray &out)
{
    out.clear();
    if (!OnExchange)
        return false;
    TRegisterKeeper keep(*this);
    SetRegister(reg);
    Execute(arg);
    if (ReplyFailed())
        return false;
    out = ReplyData;
    return true;
}

bool TDevice::ReadDataStoreInfo()
{
    SerialNumber.clear();
    OldestRecordText.clear();
    NewestRecordText.clear();
    if (!OnExchange)
        return false;
    {
        TRegisterKeeper keep(*this);
        SetRegister(0x0005);
        ReadValue();
        if (ReplyFailed())
            return false;
        SerialNumber = QByteArray::number(static_cast<uint32_t>(ReplyHex())); // all 32 bits, no sign
    }
    const bool oldest = ExecuteInto(0x8294, {}, OldestRecordText);
    const bool newest = ExecuteInto(0x8295, {}, NewestRecordText);
    return oldest && newest;
}

bool TDevice::ReadOldestRecord(QByteArray &out)
{
    return ExecuteInto(0x8294, {}, out);
}

bool TDevice::ReadNewestRecord(QByteArray &out)
{
    return ExecuteInto(0x8295, {}, out);
}

bool TDevice::ReadRecordByNumber(uint32_t n, QByteArray &out)
{
    return ExecuteInto(0x8291, QByteArray::number(n, 16).toUpper(), out);
}

bool TDevice::ReadNextRecord(QByteArray &out)
{
    return ExecuteInto(0x8292, {}, out);
}
