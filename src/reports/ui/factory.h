// TFrmFactory: the factory test results as a chart, the two runs' errors against the trade limits,
// the verdict and the drift at the lowest test point below it.
#pragma once

#include "reports/factory.h"

#include <QDialog>

class QCPGraph;
class QCPTextElement;
class QCustomPlot;
class QLabel;
class QPushButton;

class TFrmFactory : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmFactory(QWidget *parent = nullptr);
    // Decodes the record and fills the chart; false when it is not one to show (the caller is told
    // the reason through notAvailable for a record of the wrong format or length).
    bool ShowFactoryTest(const QByteArray &text, const QByteArray &serialNumber,
                         bool *notAvailable = nullptr);
    const TFactoryResults &Results() const { return Shown; }

    QCustomPlot *ChtTest;
    QCPTextElement *Title;
    QCPGraph *Series1, *Series2, *Series3, *Series4;
    QPushButton *BtnOk;
    QLabel *LblResult; // pass, FAIL or no test points, as brellin-cli says it
    QLabel *LblZeroResult;

private:
    TFactoryResults Shown;
};
