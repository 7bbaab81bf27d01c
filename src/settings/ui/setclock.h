// TFrmSetClock: shows the instrument's date and time as it reads them (register 0x0150, polled by
// the link timer while the dialog is open) and offers to set the clock from the PC's.
#pragma once

#include "link/transact.h"

#include <QDialog>

class QLabel;
class QPushButton;

class TFrmSetClock : public QDialog, public TReplyConsumer
{
    Q_OBJECT
public:
    explicit TFrmSetClock(QWidget *parent = nullptr);

    static constexpr const char *SendQuestion = "Send PC Date/Time to instrument?";

    QLabel *LblDateTime;
    QPushButton *btnSet, *btnCancel;

    // Replies of the clock route: the text of 0x0150, or an empty label after a refusal.
    void RoutedReply(const Tcommsobj &reply, const QByteArray &text) override;
};
