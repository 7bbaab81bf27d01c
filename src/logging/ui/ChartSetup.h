// TFrmChartSetup: the axis ranges of the log chart and the log comment, typed by hand or proposed
// by Auto from the logged data. The number fields take only number characters and check their
// range when they are left; Ok with a refused entry keeps the dialog open.
#pragma once

#include "logging/chartrules.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class TReporter;

class TFrmChartSetup : public QDialog
{
    Q_OBJECT
public:
    TFrmChartSetup(const TLogModel &log, TReporter *reporter, QWidget *parent = nullptr);

    int Decimals = 0;
    QLineEdit *EdtTstart, *EdtTend, *Edtminwgt, *EdtMaxWgt, *EdtComment;
    QLabel *LblMinUnits, *LblMaxUnits;
    QPushButton *BtnOk, *BtnCancel, *BtnAuto;

    // The fields from the chart (ChartSetupClick's filling).
    void Fill(const TChartSetupFields &fields, const QByteArray &units, const QByteArray &comment);
    TChartSetupFields Fields() const;
    void BtnAutoClick();
    // Leaving a field: rewritten, and refused with the range box when out of range.
    bool EdtXaxisExit(QLineEdit *field);
    bool EdtYaxisExit(QLineEdit *field);

    // Ok's check: every field the user changed in range, each axis' minimum below its maximum.
    // False after the error box; the dialog then stays open.
    bool CheckEntries();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void done(int result) override;

private:
    bool FieldExit(QLineEdit *field);
    TChartSetupFields Filled;
    const TLogModel &Log;
    TReporter *Reporter;
    bool Checking = false;
};
