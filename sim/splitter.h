// The instrument's side of the wire framing: splits received characters into request texts.
// SOH/STX start a CRC-framed request that EOT ends (a bad CRC drops it); LF or ";" end a plain one.
#pragma once

#include <QByteArray>
#include <functional>

class TSimRequestSplitter
{
public:
    // Longest request text the instrument takes; a longer one is handed on cut, marked oversized.
    static constexpr int MaxRequestLength = 250;

    // A complete request text (CRC checked and removed), whether it came CRC-framed, and whether
    // it was longer than the instrument's buffer (then only its start is given).
    std::function<void(const QByteArray &text, bool framed, bool oversized)> OnRequest;
    // A CRC-framed request whose CRC did not match (no reply goes out for it).
    std::function<void(const QByteArray &text)> OnBadCrc;

    void Feed(const QByteArray &bytes);
    int Pending() const { return static_cast<int>(Buffer.size()); }

private:
    void FeedChar(char ch);
    QByteArray Buffer;
    bool Framed = false;
    bool Overflow = false;
};
