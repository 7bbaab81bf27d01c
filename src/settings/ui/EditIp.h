// TEditIp: a line edit holding an IPv4 address as one 32-bit number (first octet most significant),
// shown in dotted form and normalised when the focus leaves it.
#pragma once

#include <QLineEdit>
#include <cstdint>

class TEditIp : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(quint32 IpAddressInt READ IpAddressInt WRITE SetIpAddressInt)
    Q_PROPERTY(QString IpAddressStr READ IpAddressStr WRITE SetIpAddressStrProperty)

public:
    explicit TEditIp(QWidget *parent = nullptr);

    quint32 IpAddressInt() const { return Address; }
    void SetIpAddressInt(quint32 value);
    QString IpAddressStr() const { return IntToIpText(Address); }
    // Parses the dotted text; on a bad text the address is kept and the error says why
    // ("IP Address Octet larger than 255", or that an octet is not a number).
    bool SetIpAddressStr(const QString &text, QString *error = nullptr);

    static QString IntToIpText(quint32 value);
    // Exactly four decimal octets 0..255 separated by "." and nothing else.
    static bool IpTextToInt(const QString &text, quint32 *value, QString *error = nullptr);

protected:
    void focusOutEvent(QFocusEvent *event) override;

private:
    void SetIpAddressStrProperty(const QString &text) { SetIpAddressStr(text); }
    static bool TakeOctet(QString &text, int *octet, QString *error);

    quint32 Address = 0;
};
