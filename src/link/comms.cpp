// The protocol message text: "FFCCRRRR:data", all numbers upper-case hexadecimal.
#include "comms.h"

#include "values/tools.h"

namespace
{

bool ReadHex(const QByteArray &text, int pos, int digits, int &out)
{
    int value = 0;
    for (int i = 0; i < digits; ++i) {
        const int d = HexDigitValue(text[pos + i]);
        if (d < 0)
            return false;
        value = value * 16 + d;
    }
    out = value;
    return true;
}

} // namespace

bool Tcommsobj::Decode(const QByteArray &text)
{
    if (text.size() < 9)
        return false;
    bool ok = true;
    int first = 0;
    if (ReadHex(text, 0, 2, first)) {
        HighFlag = (first & 0x80) != 0;
        ErrorFlag = (first & 0x40) != 0;
        RequestFlag = (first & 0x20) != 0;
        Address = first & 0x1F;
    } else {
        ok = false;
    }
    int value = 0;
    if (ReadHex(text, 2, 2, value))
        Command = value;
    else
        ok = false;
    if (ReadHex(text, 4, 4, value))
        Register = value;
    else
        ok = false;
    if (text[8] != ':')
        ok = false;
    Data = text.mid(9);
    Status = HexToInt(Data);
    return ok;
}

QByteArray Tcommsobj::Encode() const
{
    int first = Address & 0x1F;
    if (HighFlag)
        first |= 0x80;
    if (ErrorFlag)
        first |= 0x40;
    if (RequestFlag)
        first |= 0x20;
    QByteArray text;
    text.reserve(9 + Data.size());
    text += HexText(static_cast<uint32_t>(first), 2);
    text += HexText(static_cast<uint32_t>(Command & 0xFF), 2);
    text += HexText(static_cast<uint32_t>(Register & 0xFFFF), 4);
    text += ':';
    text += Data;
    return text;
}

QByteArray Tcommsobj::ErrorText() const
{
    if (!ErrorFlag)
        return {};
    // From the highest bit down; a lower set bit replaces the text of a higher one.
    static const struct {
        uint32_t bit;
        const char *text;
    } reasons[] = {
        {0x4000, " Unknown Error "},     {0x2000, " Feature Not implemented "},
        {0x1000, " Access Denied "},     {0x0800, " Under Range "},
        {0x0400, " Over Range "},        {0x0200, " Illegal Value "},
        {0x0100, " Illegal Operation "}, {0x0080, " Save Settings Failed "},
        {0x0040, " Bad Parameter "},     {0x0010, " Session Timed Out "},
        {0x0008, " CRC Required "},
    };
    QByteArray result;
    for (const auto &r : reasons)
        if (Status & r.bit)
            result = r.text;
    return result;
}

QByteArray RegisterErrorText(const Tcommsobj &reply)
{
    return "Error :- Register " + HexText(static_cast<uint32_t>(reply.Register & 0xFFFF), 4) + ": " +
           reply.ErrorText();
}
