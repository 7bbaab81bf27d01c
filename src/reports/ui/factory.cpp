// The factory test results window: the chart of the two runs against the trade-limit stairs.
#include "reports/ui/factory.h"
#include "reports/chart/factorychart.h"

#include "i18n/LumsLang.h"

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
    LblResult = new QLabel(this);
    LblResult->setObjectName(QStringLiteral("LblResult"));
    LblZeroResult = new QLabel(this);
    LblZeroResult->setObjectName(QStringLiteral("LblZeroResult"));
    LblZeroResult->setWordWrap(true);
    QFont labelFont = LblZeroResult->font();
    labelFont.setPixelSize(16);
    LblZeroResult->setFont(labelFont);
    labelFont.setBold(true);
    LblResult->setFont(labelFont);
    auto *texts = new QVBoxLayout;
    texts->addWidget(LblResult);
    texts->addWidget(LblZeroResult);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(BtnOk, 0, Qt::AlignTop);
    bottom->addSpacing(16);
    bottom->addLayout(texts, 1);
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
    LblResult->setText(LangText("TFrmFactory", "Result", "Result: %1").arg(FactoryVerdictText(Shown)));
    const QColor colour = Shown.Points.isEmpty() ? palette().color(QPalette::WindowText)
                          : Shown.Pass           ? QColor(0, 128, 0)
                                                 : QColor(192, 0, 0);
    LblResult->setStyleSheet(QStringLiteral("color: %1").arg(colour.name()));
    LblZeroResult->setText(Shown.ZeroDriftText);
    return true;
}
