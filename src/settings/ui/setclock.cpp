// The clock dialog.
#include "settings/ui/setclock.h"

#include "link/comms.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TFrmSetClock::TFrmSetClock(QWidget *parent) : QDialog(parent)
{
    setObjectName("FrmSetClock");
    setWindowTitle("Set Date and Time");
    LblDateTime = new QLabel(this);
    LblDateTime->setObjectName("LblDateTime");
    LblDateTime->setAlignment(Qt::AlignCenter);
    LblDateTime->setMinimumWidth(260);
    QFont big = LblDateTime->font();
    big.setPointSizeF(big.pointSizeF() * 1.8);
    big.setBold(true);
    LblDateTime->setFont(big);
    btnSet = new QPushButton("Set", this);
    btnSet->setObjectName("btnSet");
    btnSet->setDefault(true);
    btnCancel = new QPushButton("Cancel", this);
    btnCancel->setObjectName("btnCancel");
    connect(btnSet, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnSet);
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(LblDateTime);
    layout->addLayout(buttons);
}

void TFrmSetClock::RoutedReply(const Tcommsobj &reply, const QByteArray &)
{
    if (reply.Register != 0x0150)
        return;
    LblDateTime->setText(reply.ErrorFlag ? QString() : QString::fromLatin1(reply.Data));
}
