// Number and text conversions every subsystem uses (see tools.h).
#include "values/tools.h"

#include <cmath>
#include <limits>

int HexDigitValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    return -1;
}

namespace
{

double PowerOfTen(int n)
{
    double p = 1.0;
    for (int i = 0; i < n; ++i)
        p *= 10.0;
    return p;
}

} // namespace

uint32_t HexToInt(const QByteArray &text)
{
    uint32_t value = 0;
    for (char ch : text) {
        if (ch == ' ')
            continue;
        const int d = HexDigitValue(ch);
        value = d < 0 ? 0 : value * 16u + static_cast<uint32_t>(d);
    }
    return value;
}

int64_t DigitsToInt(const QByteArray &text)
{
    uint64_t value = 0;
    bool negative = false;
    for (char ch : text) {
        if (IsDigit(ch))
            value = value * 10u + static_cast<uint64_t>(ch - '0');
        else if (ch == '-')
            negative = true;
    }
    const auto v = static_cast<int64_t>(value);
    return negative ? -v : v;
}

int64_t LeadingInt(const QByteArray &text)
{
    // Only blanks may come before the number: "x100" holds no leading number.
    int i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    uint64_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i)
        value = value * 10u + static_cast<uint64_t>(text[i] - '0');
    return static_cast<int64_t>(value);
}

QByteArray UnsignedToDecimalText(uint32_t value, int decimals)
{
    if (decimals == 0)
        return QByteArray::number(value);
    if (decimals < 1 || decimals > 9)
        return {};
    return QByteArray::number(static_cast<double>(value) / PowerOfTen(decimals), 'f', decimals);
}

QByteArray SignedToDecimalText(int32_t value, int decimals)
{
    if (decimals == 0)
        return QByteArray::number(value);
    if (decimals < 1 || decimals > 9)
        return {};
    return QByteArray::number(static_cast<double>(value) / PowerOfTen(decimals), 'f', decimals);
}

QByteArray FloatToDecimalText(int decimals, double value)
{
    if (decimals == 0) {
        const double r = std::nearbyint(value); // the default rounding mode sends halves to even
        return QByteArray::number(static_cast<long long>(r));
    }
    if (decimals < 1 || decimals > 9)
        return {};
    return QByteArray::number(value, 'f', decimals);
}

double DecimalTextToFloat(const QByteArray &text)
{
    // Whole digits are summed exactly while they fit; a longer run (a damaged file can hold
    // any number of digits) goes on in floating point instead of overflowing.
    int64_t value = 0;
    double wide = 0.0;
    bool overflowed = false;
    bool negative = false;
    int decimals = 0;
    bool counting = false;
    for (char ch : text) {
        if (IsDigit(ch)) {
            const int digit = ch - '0';
            if (!overflowed && value > (std::numeric_limits<int64_t>::max() - digit) / 10) {
                overflowed = true;
                wide = static_cast<double>(value);
            }
            if (overflowed)
                wide = wide * 10.0 + digit;
            else
                value = value * 10 + digit;
            if (counting)
                ++decimals;
        } else if (ch == '-') {
            negative = true;
        } else if (ch == '.') {
            counting = true;
            decimals = 0;
        } else {
            return 0.0;
        }
    }
    const double result = (overflowed ? wide : static_cast<double>(value)) / PowerOfTen(decimals);
    return negative ? -result : result;
}

QByteArray FixDecimals(const QByteArray &text, int decimals)
{
    const int dot = text.indexOf('.');
    QByteArray whole = dot < 0 ? text : text.left(dot);
    if (whole.isEmpty())
        whole = "0";
    if (decimals <= 0)
        return whole;
    QByteArray fraction = dot < 0 ? QByteArray() : text.mid(dot + 1);
    if (fraction.size() > decimals)
        fraction.truncate(decimals);
    while (fraction.size() < decimals)
        fraction.append('0');
    return whole + '.' + fraction;
}

int DecimalsIn(const QByteArray &text)
{
    const int dot = text.lastIndexOf('.');
    if (dot < 0)
        return 0;
    int lastDigit = -1;
    for (int i = text.size() - 1; i >= 0; --i) {
        if (IsDigit(text[i])) {
            lastDigit = i;
            break;
        }
    }
    return lastDigit > dot ? lastDigit - dot : 0;
}

QByteArray NthField(const QByteArray &text, int n, char separator)
{
    if (n < 1)
        return {};
    int start = 0;
    for (int field = 1; field < n; ++field) {
        const int next = text.indexOf(separator, start);
        if (next < 0)
            return {};
        start = next + 1;
    }
    const int end = text.indexOf(separator, start);
    return end < 0 ? text.mid(start) : text.mid(start, end - start);
}

QByteArray PadRight(const QByteArray &text, int width)
{
    QByteArray result = text;
    while (result.size() < width)
        result.append(' ');
    return result;
}

QByteArray HexText(uint32_t value, int width)
{
    QByteArray hex = QByteArray::number(value, 16).toUpper();
    while (hex.size() < width)
        hex.prepend('0');
    return hex;
}

bool IsHexWord(const QByteArray &text)
{
    if (text.isEmpty() || text.size() > 8)
        return false;
    for (char ch : text)
        if (HexDigitValue(ch) < 0)
            return false;
    return true;
}
