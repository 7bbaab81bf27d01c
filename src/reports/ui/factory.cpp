// The factory test results window: the chart of the two runs against the trade-limit stairs.
#include "reports/ui/factory.h"
#include "reports/ui/factorychart.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <qcustomplot.h>

TFrmFactory::TFrmFactory(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FrmFactory"));
    setWindowTitle(QStringLiteral("Factory Test Results"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    ChtTest = new QCustomPlot(this);
    ChtTest->setObjectName(QStringLiteral("ChtTest"));
    ChtTest->setMinimumSize(FactoryChartSize);
    const TFactoryChart chart = SetUpFactoryChart(ChtTest);
    Title = chart.Title;
    Series1 = chart.Series1;
    Series2 = chart.Series2;
    Series3 = chart.Series3;
    Series4 = chart.Series4;

    BtnOk = new QPushButton(QStringLiteral("Ok"), this);
    BtnOk->setObjectName(QStringLiteral("BtnOk"));
    connect(BtnOk, &QPushButton::clicked, this, &QDialog::accept);
    LblZeroResult = new QLabel(this);
    LblZeroResult->setObjectName(QStringLiteral("LblZeroResult"));
    QFont labelFont = LblZeroResult->font();
    labelFont.setPixelSize(16);
    LblZeroResult->setFont(labelFont);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(BtnOk);
    bottom->addSpacing(16);
    bottom->addWidget(LblZeroResult, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(ChtTest, 1);
    layout->addLayout(bottom);
}

bool TFrmFactory::ShowFactoryTest(const QByteArray &text, const QByteArray &serialNumber, bool *notAvailable)
{
    if (notAvailable)
        *notAvailable = false;
    TFactoryRecord record;
    const TFactoryDecode decoded = DecodeFactoryRecord(text, record);
    if (decoded != TFactoryDecode::Ok) {
        if (notAvailable)
            *notAvailable = decoded == TFactoryDecode::NotAvailable;
        return false;
    }
    Shown = FactoryResults(record, serialNumber);
    ShowFactoryChart({ChtTest, Title, Series1, Series2, Series3, Series4}, Shown);
    LblZeroResult->setText(Shown.ZeroDriftText);
    return true;
}
