// Number and text conversions every subsystem uses (hexadecimal, decimal texts, fields, padding).
// All texts are 8-bit byte strings; numbers always use "." as decimal separator, never the locale.
#pragma once

#include <QByteArray>
#include <cstdint>

// Value of one hexadecimal digit (either case), -1 for any other character.
int HexDigitValue(char ch);
// One to eight hexadecimal digits (a register value as the instrument writes it).
bool IsHexWord(const QByteArray &text);
// Hexadecimal text to a 32-bit value: blanks skipped, any other non-hex character restarts at 0.
uint32_t HexToInt(const QByteArray &text);
// Every digit appended; a "-" anywhere makes the result negative; everything else ignored.
int64_t DigitsToInt(const QByteArray &text);
// The decimal number after any leading spaces and tabs, up to its first non-digit; 0 when no digit
// follows the blanks.
int64_t LeadingInt(const QByteArray &text);
// value / 10^decimals with that many places; empty for decimals outside 0..9.
QByteArray UnsignedToDecimalText(uint32_t value, int decimals);
QByteArray SignedToDecimalText(int32_t value, int decimals);
// decimals 0 rounds halves to even; empty for decimals outside 0..9.
QByteArray FloatToDecimalText(int decimals, double value);
// Digits accumulate, "-" negates, "." starts counting decimals; any other character gives 0.
double DecimalTextToFloat(const QByteArray &text);
// Exactly `decimals` places after the point, cut or padded, never rounded.
QByteArray FixDecimals(const QByteArray &text, int decimals);
// Characters between the last "." and the last digit (12.345kg gives 3); 0 without a ".".
int DecimalsIn(const QByteArray &text);
// The n-th (1-based) field split at `separator`; empty when there are fewer fields.
QByteArray NthField(const QByteArray &text, int n, char separator);
inline bool IsDigit(char ch)
{
    return ch >= '0' && ch <= '9';
}
QByteArray PadRight(const QByteArray &text, int width);
// Upper-case hexadecimal of a value with at least `width` digits.
QByteArray HexText(uint32_t value, int width);
