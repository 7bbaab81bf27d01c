// The passcode dialog: the prompt, six characters at most, digits only, echoed as "*", and a word
// when the last passcode was not accepted.
#include "settings/ui/passcode.h"

#include "i18n/LumsLang.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

TFrmPasscode::TFrmPasscode(const QString &prompt, QWidget *parent) : QDialog(parent)
{
    setObjectName("TFrmPasscode");
    setWindowTitle(prompt.isEmpty() ? LangText("TFrmPasscode", "PromptAny", "Enter Passcode") : prompt);
    LblPrompt = new QLabel(windowTitle(), this);
    LblPrompt->setObjectName("LblPrompt");
    LblRefused = new QLabel(RefusedText, this);
    LblRefused->setObjectName("LblRefused");
    LblRefused->setStyleSheet("color: red;");
    LblRefused->hide();
    EdtPasscode = new QLineEdit(this);
    EdtPasscode->setObjectName("EdtPasscode");
    EdtPasscode->setMaxLength(6);
    EdtPasscode->setEchoMode(QLineEdit::Password);
    // Any printable character but a digit is dropped as it is typed.
    EdtPasscode->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), EdtPasscode));
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
    layout->addWidget(EdtPasscode);
    layout->addWidget(LblRefused);
    layout->addWidget(buttons);
    EdtPasscode->setFocus();
}

void TFrmPasscode::SetRefused(bool refused)
{
    LblRefused->setVisible(refused);
}

void TFrmPasscode::showEvent(QShowEvent *event)
{
    // The caption may have been translated or replaced by the prompt since construction.
    LblPrompt->setText(windowTitle());
    QDialog::showEvent(event);
}
