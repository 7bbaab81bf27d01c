// Strict reading of the values people type (numbers, passcodes, IPv4 addresses, text lengths)
// before any of them reaches the instrument: nothing is dropped, guessed or cut.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

// The outcome of reading a typed value: the value, or why it was refused (naming the text and the
// form that is accepted).
template <typename T> struct TValueRead {
    std::optional<T> Value;
    QString Refusal;
    bool Ok() const { return Value.has_value(); }
    explicit operator bool() const { return Ok(); }
    const T &operator*() const { return *Value; }
};

using TNumberRead = TValueRead<int64_t>;

// A number as an item shows it: an optional sign, digits, at most one decimal mark and nothing
// else (blanks around it are ignored). "." is the decimal mark; "," is taken as one only when it is
// the only separator, and text holding both is refused as ambiguous. The value comes back scaled by
// 10^decimals (12.5 with 2 decimals is 1250); fewer decimals are filled with zeros, more are
// refused, never cut. `what` names the entry in the refusal ("a number", "a weight").
// Values beyond +-999999999999999999 are refused as too large.
TNumberRead ReadNumber(const QString &text, int decimals, bool signAllowed = true,
                       const QString &what = QStringLiteral("a number"));

// `scaled` / 10^decimals written exactly with that many places and "." ("-0.0150").
QByteArray ScaledText(int64_t scaled, int decimals);
// An example of the accepted form with that many decimals ("125", "12.5", "12.50", "1.2500").
QString NumberExample(int decimals);

// A passcode as the instrument takes it: 1 to 6 digits; the value in upper-case hex for its
// passcode register ("5678" gives "162E").
TValueRead<QByteArray> ReadPasscode(const QString &text);
constexpr int PasscodeDigits = 6;

// A dotted IPv4 address: exactly four decimal octets 0..255 separated by "." and nothing else
// (blanks around it are ignored); the first octet is the most significant byte.
TValueRead<uint32_t> ReadIpAddress(const QString &text);

// Characters the instrument sees in a string item's text: a "\" and the two characters after it
// are one.
int EscapedLength(const QByteArray &text);
// Refusal of a text longer than its item takes; empty when it fits. `length` and `limit` count the
// characters the instrument sees.
QString TextLengthRefusal(const QString &item, int length, int limit);
