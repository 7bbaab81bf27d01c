// The session start dialog.
#include "settings/ui/readsettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TFrmReadSettings::TFrmReadSettings(QWidget *parent) : QDialog(parent)
{
    setObjectName("TFrmReadSettings");
    setWindowTitle("Read Instrument Settings");
    LblPrompt = new QLabel(windowTitle(), this);
    LblPrompt->setObjectName("LblPrompt");
    // Not editable: a typed-over text would name no menu, and no session must start on a guess.
    CBxMenu = new QComboBox(this);
    CBxMenu->setObjectName("CBxMenu");
    CbxReadEntire = new QCheckBox("Read Entire Menu", this);
    CbxReadEntire->setObjectName("CbxReadEntire");
    auto *buttons = new QDialogButtonBox(this);
    BtnOk = buttons->addButton("Ok", QDialogButtonBox::AcceptRole);
    BtnOk->setObjectName("BtnOk");
    BtnOk->setDefault(true);
    BtnCancel = buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
    BtnCancel->setObjectName("BtnCancel");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(LblPrompt);
    layout->addWidget(CBxMenu);
    layout->addWidget(CbxReadEntire);
    layout->addWidget(buttons);
}

void TFrmReadSettings::SetChoices(const QStringList &choices)
{
    CBxMenu->clear();
    CBxMenu->addItems(choices);
    CBxMenu->setCurrentIndex(choices.isEmpty() ? -1 : 0);
}

int TFrmReadSettings::Choice() const
{
    return CBxMenu->currentIndex();
}

void TFrmReadSettings::showEvent(QShowEvent *event)
{
    // The caption as translated when the dialog is shown.
    LblPrompt->setText(windowTitle());
    QDialog::showEvent(event);
}
