// TFrmPasscode: asks for the instrument's passcode of a locked access level. The program keeps no
// passcode: what is typed goes to the instrument.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TFrmPasscode : public QDialog
{
    Q_OBJECT
public:
    // prompt: the caption ("Enter Safe Passcode"); "Enter Passcode" when empty. The prompt shows
    // inside the dialog too, as the caption reads when the dialog is shown.
    explicit TFrmPasscode(const QString &prompt = {}, QWidget *parent = nullptr);

    // The passcode typed last was not accepted by the instrument: the dialog says so.
    void SetRefused(bool refused);
    static constexpr const char *RefusedText = "The passcode was not accepted.";

    QLabel *LblPrompt;
    QLabel *LblRefused;
    QLineEdit *EdtPasscode;
    QPushButton *BtnOk;
    QPushButton *BtnCancel;

protected:
    void showEvent(QShowEvent *event) override;
};
