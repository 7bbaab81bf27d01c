// Request splitting on the instrument's side of the line.
#include "splitter.h"

#include "link/CRC.h"
#include "link/comms.h"

void TSimRequestSplitter::Feed(const QByteArray &bytes)
{
    for (char ch : bytes)
        FeedChar(ch);
}

void TSimRequestSplitter::FeedChar(char ch)
{
    if (ch == SOH || ch == STX) {
        Buffer.clear();
        Framed = true;
        Overflow = false;
        return;
    }
    // A ";" inside a CRC frame is data; outside one it ends a plain request (and a leading ";"
    // ends nothing).
    if (ch == EOT || ch == '\n' || (ch == ';' && !Framed)) {
        const bool framed = Framed && ch == EOT;
        const bool overflow = Overflow;
        QByteArray text;
        text.swap(Buffer);
        Framed = false;
        Overflow = false;
        if (framed && !overflow) {
            if (!CheckFrameCrc(text)) {
                if (OnBadCrc)
                    OnBadCrc(text);
                return;
            }
            text.chop(4);
        }
        if (!text.isEmpty() && OnRequest)
            OnRequest(text, framed, overflow);
        return;
    }
    // CR and the other control characters are not part of a request.
    if (static_cast<unsigned char>(ch) < 0x20)
        return;
    if (Buffer.size() >= MaxRequestLength)
        Overflow = true; // keep the start: it names the register of the refusal
    else
        Buffer.append(ch);
}
