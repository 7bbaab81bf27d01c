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
    // Leaving the signal edit: the text is read strictly (at most four decimals) and the range is
    // checked; false (with the reason shown and the focus back in the edit) when it is refused.
    bool EdtAbsMVExit();
    // The typed weight (span, linearisation) read strictly with the calibration weight's decimals;
    // false with the reason shown and the focus in the field.
    bool CheckWeight();

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
    bool WeightTyped = false;
    int WeightDecimals = 0;
};
