// Splits the received character stream into message texts: SOH/STX start a message,
// EOT ends a CRC-framed one (checked and stripped), LF ends a plain one.
#pragma once

#include <QByteArray>
#include <functional>

class TFrameAssembler
{
public:
    // Longest reply text kept; a longer run of characters without an end is dropped.
    static constexpr int MaxReplyLength = 300;

    // Called for every completed, non-empty message text (CRC already checked and removed).
    std::function<void(const QByteArray &)> OnMessage;
    // Called at every LF or EOT, before the message is handed on (the echo is flushed there).
    std::function<void()> OnLineEnd;

    void Feed(const QByteArray &chars);
    void Feed(char ch);
    void Clear() { ReplyBuffer.clear(); }
    const QByteArray &Pending() const { return ReplyBuffer; }

private:
    QByteArray ReplyBuffer;
};
