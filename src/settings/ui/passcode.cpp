// The passcode dialog: six characters at most, digits only, echoed as "*".
#include "settings/ui/passcode.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

TFrmPasscode::TFrmPasscode(const QString &prompt, QWidget *parent) : QDialog(parent)
{
    setObjectName("TFrmPasscode");
    setWindowTitle(prompt.isEmpty() ? QStringLiteral("Enter Passcode") : prompt);
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
    layout->addWidget(EdtPasscode);
    layout->addWidget(buttons);
    EdtPasscode->setFocus();
}
