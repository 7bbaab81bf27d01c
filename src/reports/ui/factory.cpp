// The factory test results window: the chart of the two runs against the trade-limit stairs.
#include "reports/ui/factory.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <qcustomplot.h>

namespace
{

QCPGraph *AddSeries(QCustomPlot *chart, const char *name, const QString &title, const QColor &colour)
{
    QCPGraph *g = chart->addGraph();
    g->setObjectName(QString::fromLatin1(name));
    g->setName(title);
    g->setPen(QPen(colour, 1.5));
    return g;
}

void SetPoints(QCPGraph *graph, const QList<QPointF> &points)
{
    QVector<double> x, y;
    for (const QPointF &p : points) {
        x << p.x();
        y << p.y();
    }
    graph->setData(x, y, true);
}

} // namespace

TFrmFactory::TFrmFactory(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FrmFactory"));
    setWindowTitle(QStringLiteral("Factory Test Results"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    ChtTest = new QCustomPlot(this);
    ChtTest->setObjectName(QStringLiteral("ChtTest"));
    ChtTest->setMinimumSize(640, 420);
    ChtTest->setInteractions({}); // no zoom, no drag

    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setPixelSize(16);
    titleFont.setBold(true);
    ChtTest->plotLayout()->insertRow(0);
    Title = new QCPTextElement(ChtTest, QString(), titleFont);
    Title->setTextColor(Qt::blue);
    ChtTest->plotLayout()->addElement(0, 0, Title);

    const QColor limits(0, 128, 255);
    Series1 = AddSeries(ChtTest, "Series1", QStringLiteral("Trade Limits"), limits);
    Series2 = AddSeries(ChtTest, "Series2", QStringLiteral(" "), limits);
    for (QCPGraph *g : {Series1, Series2})
        g->setLineStyle(QCPGraph::lsStepLeft);
    Series3 = AddSeries(ChtTest, "Series3", QStringLiteral("Data1"), QColor(0, 160, 0));
    Series4 = AddSeries(ChtTest, "Series4", QStringLiteral("Data2"), Qt::red);
    Series3->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssStar, 9));
    Series4->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCross, 9));
    for (QCPGraph *g : {Series3, Series4})
        g->setLineStyle(QCPGraph::lsNone);
    // The lower limits are the same stairs: one legend entry names both.
    Series2->removeFromLegend();

    for (QCPAxis *axis : {ChtTest->xAxis, ChtTest->yAxis})
        axis->grid()->setVisible(false);
    // Ticks in steps of the trade limits' smallest stair (0.25 division) or its multiples.
    auto ticker = QSharedPointer<QCPAxisTickerFixed>::create();
    ticker->setTickStep(0.25);
    ticker->setScaleStrategy(QCPAxisTickerFixed::ssMultiples);
    ChtTest->yAxis->setTicker(ticker);

    // Legend at the bottom, below the axes.
    ChtTest->legend->setVisible(true);
    auto *legendRow = new QCPLayoutGrid;
    ChtTest->plotLayout()->addElement(2, 0, legendRow);
    legendRow->setMargins(QMargins(0, 0, 0, 4));
    legendRow->addElement(0, 0, ChtTest->legend);
    ChtTest->legend->setFillOrder(QCPLegend::foColumnsFirst);
    ChtTest->plotLayout()->setRowStretchFactor(2, 0.001);

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
    SetPoints(Series1, Shown.UpperLimits);
    SetPoints(Series2, Shown.LowerLimits);
    SetPoints(Series3, Shown.Run1);
    SetPoints(Series4, Shown.Run2);
    Series3->setName(Shown.Run1Title);
    Series4->setName(Shown.Run2Title);
    ChtTest->yAxis->setRange(Shown.YMin, Shown.YMax);
    double xMax = 0;
    for (const QPointF &p : Shown.UpperLimits)
        xMax = std::max(xMax, p.x());
    for (const QPointF &p : Shown.Run1)
        xMax = std::max(xMax, p.x());
    ChtTest->xAxis->setRange(0, xMax);
    LblZeroResult->setText(Shown.ZeroDriftText);
    Title->setText(Shown.TitleLine1 + QLatin1Char('\n') + Shown.TitleLine2);
    ChtTest->yAxis->setLabel(Shown.LeftAxisTitle);
    ChtTest->xAxis->setLabel(Shown.BottomAxisTitle);
    ChtTest->replot();
    return true;
}
