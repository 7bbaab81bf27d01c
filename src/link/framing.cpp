// The receive half of the wire framing.
#include "framing.h"

#include "CRC.h"
#include "comms.h"

void TFrameAssembler::Feed(const QByteArray &chars)
{
    for (char ch : chars)
        Feed(ch);
}

void TFrameAssembler::Feed(char ch)
{
    const auto u = static_cast<unsigned char>(ch);
    if (ch == '\n' || ch == EOT) {
        if (OnLineEnd)
            OnLineEnd();
        if (ch == EOT) {
            // A frame whose CRC does not match is dropped without a word; the sender's
            // time-out and resend deal with it.
            if (CheckFrameCrc(ReplyBuffer))
                ReplyBuffer.chop(4);
            else
                ReplyBuffer.clear();
        }
        QByteArray message;
        message.swap(ReplyBuffer);
        if (!message.isEmpty() && OnMessage)
            OnMessage(message);
        return;
    }
    if (ch == SOH || ch == STX) {
        ReplyBuffer.clear();
        return;
    }
    if (u >= 0x20) {
        ReplyBuffer.append(ch);
        if (ReplyBuffer.size() > MaxReplyLength)
            ReplyBuffer.clear();
    }
}
