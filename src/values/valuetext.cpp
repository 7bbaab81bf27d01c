// Strict reading of typed values (see valuetext.h).
#include "values/valuetext.h"

#include <QStringList>
#include <algorithm>

namespace
{

constexpr int MaxDigits = 18; // every 18-digit value fits in 64 bits, also scaled

QString Quoted(const QString &text)
{
    return '"' + text + '"';
}

QString AcceptedForm(int decimals)
{
    if (decimals <= 0)
        return QStringLiteral("use digits only, such as %1").arg(NumberExample(0));
    return QStringLiteral("use digits with at most one decimal mark, such as %1")
        .arg(NumberExample(decimals));
}

} // namespace

QString NumberExample(int decimals)
{
    if (decimals <= 0)
        return QStringLiteral("125");
    if (decimals <= 2)
        return QStringLiteral("12.5").leftJustified(3 + decimals, '0');
    return QStringLiteral("1.25").leftJustified(2 + decimals, '0');
}

QByteArray ScaledText(int64_t scaled, int decimals)
{
    const bool negative = scaled < 0;
    // The magnitude as unsigned, so that the most negative value has one too.
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
    QByteArray digits = QByteArray::number(static_cast<qulonglong>(magnitude));
    if (decimals > 0) {
        digits = digits.rightJustified(decimals + 1, '0');
        digits.insert(digits.size() - decimals, '.');
    }
    return negative ? '-' + digits : digits;
}

TNumberRead ReadNumber(const QString &text, int decimals, bool signAllowed, const QString &what)
{
    TNumberRead read;
    const QString t = text.trimmed();
    auto refuse = [&](const QString &why) {
        read.Refusal = why;
        return read;
    };
    if (t.isEmpty())
        return refuse(QStringLiteral("Nothing was entered: type %1; %2").arg(what, AcceptedForm(decimals)));
    if (t.contains('.') && t.contains(','))
        return refuse(QStringLiteral("%1 holds both \".\" and \",\", so which one is the decimal mark is "
                                     "not clear: use one decimal mark and no thousands separator, such as %2")
                          .arg(Quoted(t), NumberExample(decimals)));
    int i = 0;
    bool negative = false;
    if (t[0] == '+' || t[0] == '-') {
        negative = t[0] == '-';
        i = 1;
    }
    QString whole, fraction;
    bool mark = false;
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c >= '0' && c <= '9') {
            (mark ? fraction : whole) += c;
        } else if ((c == '.' || c == ',') && !mark) {
            mark = true;
        } else {
            return refuse(QStringLiteral("%1 is not %2: %3").arg(Quoted(t), what, AcceptedForm(decimals)));
        }
    }
    if (whole.isEmpty() && fraction.isEmpty())
        return refuse(QStringLiteral("%1 is not %2: %3").arg(Quoted(t), what, AcceptedForm(decimals)));
    if (negative && !signAllowed)
        return refuse(QStringLiteral("%1 is negative: this entry takes no sign; %2")
                          .arg(Quoted(t), AcceptedForm(decimals)));
    const int places = std::max(decimals, 0);
    if (fraction.size() > places) {
        if (places == 0)
            return refuse(QStringLiteral("%1 has decimals: this entry takes whole numbers only, such as %2")
                              .arg(Quoted(t), NumberExample(0)));
        return refuse(QStringLiteral("%1 has more decimals than this entry shows: at most %2, such as %3")
                          .arg(Quoted(t))
                          .arg(places)
                          .arg(NumberExample(places)));
    }
    QString digits = whole + fraction.leftJustified(places, '0');
    while (digits.size() > 1 && digits[0] == '0')
        digits.remove(0, 1);
    if (digits.size() > MaxDigits)
        return refuse(QStringLiteral("%1 is too large to be %2").arg(Quoted(t), what));
    const int64_t magnitude = digits.toLongLong();
    read.Value = negative ? -magnitude : magnitude;
    return read;
}

TValueRead<QByteArray> ReadPasscode(const QString &text)
{
    TValueRead<QByteArray> read;
    const QString t = text.trimmed();
    bool digits = !t.isEmpty() && t.size() <= PasscodeDigits;
    for (QChar c : t)
        digits = digits && c >= '0' && c <= '9';
    if (!digits) {
        read.Refusal = QStringLiteral("%1 is not a passcode: a passcode is 1 to %2 digits, such as 1234")
                           .arg(Quoted(t))
                           .arg(PasscodeDigits);
        return read;
    }
    read.Value = QByteArray::number(t.toLongLong(), 16).toUpper();
    return read;
}

TValueRead<uint32_t> ReadIpAddress(const QString &text)
{
    TValueRead<uint32_t> read;
    const QString t = text.trimmed();
    const QStringList parts = t.split('.');
    uint32_t address = 0;
    bool ok = parts.size() == 4;
    QString bad;
    for (const QString &part : parts) {
        bool digits = !part.isEmpty() && part.size() <= 3;
        for (QChar c : part)
            digits = digits && c >= '0' && c <= '9';
        const int octet = digits ? part.toInt() : -1;
        if (digits && octet > 255 && bad.isEmpty())
            bad = part;
        ok = ok && digits && octet <= 255;
        address = (address << 8) | static_cast<uint32_t>(std::max(octet, 0) & 0xFF);
    }
    if (!ok) {
        read.Refusal =
            QStringLiteral("%1 is not an IP address: %2use four numbers 0 to 255 separated by "
                           "\".\", such as 192.168.1.5")
                .arg(Quoted(t),
                     bad.isEmpty() ? QString() : QStringLiteral("%1 is larger than 255; ").arg(bad));
        return read;
    }
    read.Value = address;
    return read;
}

int EscapedLength(const QByteArray &text)
{
    int count = 0;
    for (int i = 0; i < text.size(); i += text[i] == '\\' ? 3 : 1)
        ++count;
    return count;
}

QString TextLengthRefusal(const QString &item, int length, int limit)
{
    if (limit <= 0 || length <= limit)
        return {};
    return QStringLiteral("The text has %1 characters, but %2 takes at most %3: shorten it; nothing was "
                          "sent")
        .arg(length)
        .arg(item)
        .arg(limit);
}
