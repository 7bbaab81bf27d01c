// One protocol message: flags, unit address, command, register and data text, and the
// status word of a refusal. Encodes to and decodes from the message text of the wire.
#pragma once

#include <QByteArray>
#include <cstdint>

// Command codes of the instrument protocol.
enum : uint8_t {
    CmdReadType = 0x01,
    CmdReadMinimum = 0x02,
    CmdReadLimit = 0x03,
    CmdReadFormatted = 0x05,
    CmdReadOption = 0x0D,
    CmdReadPermission = 0x0F,
    CmdExecute = 0x10,
    CmdRead = 0x11,
    CmdWrite = 0x12,
    CmdReadMenu = 0x14,
    CmdReadItem = 0x15,
};

// Status bits of a refused operation.
enum : uint32_t {
    StatusUnknownError = 0x4000,
    StatusNotImplemented = 0x2000,
    StatusAccessDenied = 0x1000,
    StatusUnderRange = 0x0800,
    StatusOverRange = 0x0400,
    StatusIllegalValue = 0x0200,
    StatusIllegalOperation = 0x0100,
    StatusSaveFailed = 0x0080,
    StatusBadParameter = 0x0040,
    StatusSessionTimedOut = 0x0010,
    StatusCrcRequired = 0x0008,
};

// Fixed message texts of the protocol.
inline constexpr char MsgFastBaud[] = ";00100078:E100;";
inline constexpr char MsgSlowBaud[] = ";00100078:2580;";
inline constexpr char MsgKeepAlive[] = "00110005;";
inline constexpr char MsgEndTransfer[] = "201000ED:00";
inline constexpr char MsgCalibrationLine[] = "1200F8:";
inline constexpr char MsgProductReset[] = "10B002";
inline constexpr char MsgStartLogging[] = "01060210";

// Control characters of the wire framing.
inline constexpr char SOH = 0x01;
inline constexpr char STX = 0x02;
inline constexpr char ETX = 0x03;
inline constexpr char EOT = 0x04;

class Tcommsobj
{
public:
    bool HighFlag = false;
    bool ErrorFlag = false;
    bool RequestFlag = false;
    int Address = 0;
    int Command = 0;
    int Register = 0;
    QByteArray Data;
    uint32_t Status = 0;

    // Fills the fields from a message text; false when it is not a well-formed message.
    // A text shorter than 9 characters leaves every field as it was.
    bool Decode(const QByteArray &text);
    QByteArray Encode() const;
    // The reason text of a refusal (blanks included), empty when ErrorFlag is clear.
    QByteArray ErrorText() const;
    bool HasStatus(uint32_t mask) const { return ErrorFlag && (Status & mask) == mask; }
};

// "Error :- Register %.04x: %s" for a refused reply.
QByteArray RegisterErrorText(const Tcommsobj &reply);
