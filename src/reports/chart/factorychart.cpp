// The factory test chart, shared by the factory results window and brellin-cli's PNG.
#include "reports/chart/factorychart.h"

#include "base/wholefile.h"
#include "i18n/LumsLang.h"

#include <QBuffer>
#include <QImage>
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

TFactoryChart SetUpFactoryChart(QCustomPlot *plot)
{
    TFactoryChart chart;
    chart.Plot = plot;
    plot->setInteractions({}); // no zoom, no drag

    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setPixelSize(16);
    titleFont.setBold(true);
    plot->plotLayout()->insertRow(0);
    chart.Title = new QCPTextElement(plot, QString(), titleFont);
    chart.Title->setTextColor(Qt::blue);
    plot->plotLayout()->addElement(0, 0, chart.Title);

    const QColor limits(0, 128, 255);
    chart.Series1 = AddSeries(plot, "Series1", LangText("Messages", "TradeLimits", "Trade Limits"), limits);
    chart.Series2 = AddSeries(plot, "Series2", QStringLiteral(" "), limits);
    for (QCPGraph *g : {chart.Series1, chart.Series2})
        g->setLineStyle(QCPGraph::lsStepLeft);
    chart.Series3 = AddSeries(plot, "Series3", QStringLiteral("Data1"), QColor(0, 160, 0));
    chart.Series4 = AddSeries(plot, "Series4", QStringLiteral("Data2"), Qt::red);
    chart.Series3->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssStar, 9));
    chart.Series4->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCross, 9));
    for (QCPGraph *g : {chart.Series3, chart.Series4})
        g->setLineStyle(QCPGraph::lsNone);
    // The lower limits are the same stairs: one legend entry names both.
    chart.Series2->removeFromLegend();

    for (QCPAxis *axis : {plot->xAxis, plot->yAxis})
        axis->grid()->setVisible(false);
    // Ticks in steps of the trade limits' smallest stair (0.25 division) or its multiples.
    auto ticker = QSharedPointer<QCPAxisTickerFixed>::create();
    ticker->setTickStep(0.25);
    ticker->setScaleStrategy(QCPAxisTickerFixed::ssMultiples);
    plot->yAxis->setTicker(ticker);

    // Legend at the bottom, below the axes, centred between two empty cells and no wider than its
    // entries (a grid cell would otherwise stretch it to the plot's edges, frame and all).
    plot->legend->setVisible(true);
    auto *legendRow = new QCPLayoutGrid;
    plot->plotLayout()->addElement(2, 0, legendRow);
    legendRow->setMargins(QMargins(0, 0, 0, 4));
    legendRow->addElement(0, 0, new QCPLayoutElement(plot));
    legendRow->addElement(0, 1, plot->legend);
    legendRow->addElement(0, 2, new QCPLayoutElement(plot));
    plot->legend->setFillOrder(QCPLegend::foColumnsFirst);
    plot->plotLayout()->setRowStretchFactor(2, 0.001);
    return chart;
}

void ShowFactoryChart(const TFactoryChart &chart, const TFactoryResults &results)
{
    SetPoints(chart.Series1, results.UpperLimits);
    SetPoints(chart.Series2, results.LowerLimits);
    SetPoints(chart.Series3, results.Run1);
    SetPoints(chart.Series4, results.Run2);
    chart.Series3->setName(results.Run1Title);
    chart.Series4->setName(results.Run2Title);
    QCustomPlot *plot = chart.Plot;
    // The legend as wide as its entries with their new names.
    plot->legend->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    plot->legend->setMaximumSize(plot->legend->minimumOuterSizeHint().width(), QWIDGETSIZE_MAX);
    plot->yAxis->setRange(results.YMin, results.YMax);
    plot->xAxis->setRange(results.XMin, results.XMax);
    chart.Title->setText(results.TitleLine1 + QLatin1Char('\n') + results.TitleLine2);
    plot->yAxis->setLabel(results.LeftAxisTitle);
    plot->xAxis->setLabel(results.BottomAxisTitle);
    plot->replot();
}

bool SaveFactoryChartPng(const TFactoryResults &results, const QString &fileName, QString &error)
{
    QCustomPlot plot;
    plot.resize(FactoryChartSize);
    ShowFactoryChart(SetUpFactoryChart(&plot), results);
    // Drawn by the widget's own painting, as on the screen (toPixmap takes another route, with other
    // text and mark rendering).
    return SavePngWhole(plot.grab().toImage(), fileName, error);
}

bool SavePngWhole(const QImage &image, const QString &fileName, QString &error)
{
    QByteArray png;
    QBuffer buffer(&png);
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) {
        error = QStringLiteral("Could not draw the picture for %1; nothing saved.").arg(fileName);
        return false;
    }
    return WriteWholeFile(fileName, png, &error);
}
