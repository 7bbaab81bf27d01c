// TEditIp (see EditIp.h).
#include "settings/ui/EditIp.h"

#include "settings/ui/NumEdit.h"
#include "values/valuetext.h"

#include <QFocusEvent>
#include <QPointer>
#include <QTimer>

TEditIp::TEditIp(QWidget *parent) : QLineEdit(parent)
{
    setText(IntToIpText(0));
}

QString TEditIp::IntToIpText(quint32 v)
{
    return QString("%1.%2.%3.%4").arg(v >> 24).arg((v >> 16) & 0xFF).arg((v >> 8) & 0xFF).arg(v & 0xFF);
}

bool TEditIp::TakeOctet(QString &text, int *octet, QString *error)
{
    QString part;
    const qsizetype dot = text.indexOf('.');
    if (dot >= 0) {
        part = text.left(dot);
        text = text.mid(dot + 1);
    } else {
        part = text;
        text.clear();
    }
    int v = 0;
    if (!TNumEdit::TextToInt(part, &v)) {
        if (error)
            *error = QString("'%1' is not a valid integer value").arg(part);
        return false;
    }
    if (v < 0 || v > 255) {
        if (error)
            *error = "IP Address Octet larger than 255";
        return false;
    }
    *octet = v;
    return true;
}

bool TEditIp::IpTextToInt(const QString &text, quint32 *value, QString *error)
{
    QString rest = text;
    quint32 result = 0;
    for (int i = 0; i < 4; ++i) {
        int octet = 0;
        if (!TakeOctet(rest, &octet, error))
            return false;
        result = (result << 8) | static_cast<quint32>(octet);
    }
    // Nothing else may follow or stand between: "192.168.1.2.junk" is no address, not 192.168.1.2.
    const TValueRead<uint32_t> strict = ReadIpAddress(text);
    if (!strict) {
        if (error)
            *error = strict.Refusal;
        return false;
    }
    *value = *strict;
    return true;
}

void TEditIp::SetIpAddressInt(quint32 value)
{
    Address = value;
    setText(IntToIpText(value));
}

bool TEditIp::SetIpAddressStr(const QString &text, QString *error)
{
    quint32 v = 0;
    if (!IpTextToInt(text, &v, error))
        return false;
    SetIpAddressInt(v);
    return true;
}

void TEditIp::focusOutEvent(QFocusEvent *event)
{
    const bool leaving =
        event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason;
    quint32 v = 0;
    if (!leaving || IpTextToInt(text(), &v)) {
        if (leaving)
            SetIpAddressInt(v);
        QLineEdit::focusOutEvent(event);
        return;
    }
    // A text that is no address: the value stays, and so does the focus (quietly).
    QLineEdit::focusOutEvent(event);
    QPointer<TEditIp> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self)
            self->setFocus(Qt::OtherFocusReason);
    });
}
