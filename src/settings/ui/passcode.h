// TFrmPasscode: asks for the instrument's passcode of a locked access level. The program keeps no
// passcode: what is typed goes to the instrument.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

class TFrmPasscode : public QDialog
{
    Q_OBJECT
public:
    // prompt: the caption ("Enter Safe Passcode"); "Enter Passcode" when empty.
    explicit TFrmPasscode(const QString &prompt = {}, QWidget *parent = nullptr);

    QLineEdit *EdtPasscode;
    QPushButton *BtnOk;
    QPushButton *BtnCancel;
};
