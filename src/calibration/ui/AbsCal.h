// TFrmAbsCal: the small value dialog of the Calibration tab, in four uses: a zero or span signal
// in mV/V (direct calibration), the span weight, or a linearisation point's weight.
#pragma once

#include "calibration/calibration.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class TReporter;

class TFrmAbsCal : public QDialog
{
    Q_OBJECT
public:
    // reporter: where the range error goes.
    explicit TFrmAbsCal(TReporter *reporter, QWidget *parent = nullptr);

    // Caption, prompt, presets and the fields shown for one use.
    void Setup(const TCalAsk &ask);
    // What the flow takes: the signal text (direct uses) or the weight text.
    QByteArray Value() const;
    // Leaving the signal edit: the text gets four decimals and the range is checked; false (with
    // the error shown and the focus back in the edit) when it is outside +-3.0000 mV/V.
    bool EdtAbsMVExit();

    QLabel *lblAbsPrompt;
    QLineEdit *EdtAbsMV;
    QLabel *lblMVV;
    QLabel *LblCalWeight;
    QLineEdit *EdtCalWeight;
    QLabel *lblCalWeightUnits;
    QPushButton *BtnOk;
    QPushButton *BtnCancel;

    void accept() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    TReporter *Reporter;
    bool SignalShown = false;
};
