// The Log tab's chart: axes, series, cursors and gestures (see logchart.h).
#include "logging/ui/logchart.h"

#include "i18n/LumsLang.h"

#include <QPaintEngine>
#include <algorithm>

namespace
{

// Tick labels in the log's own formats, with a smallest step and a fixed number of minor ticks.
class TLogTicker : public QCPAxisTicker
{
public:
    QString Format; // empty: the time axis' format
    double MinStep = 0;
    int Minor = -1;

protected:
    double getTickStep(const QCPRange &range) override
    {
        return std::max(QCPAxisTicker::getTickStep(range), MinStep);
    }
    int getSubTickCount(double tickStep) override
    {
        return Minor >= 0 ? Minor : QCPAxisTicker::getSubTickCount(tickStep);
    }
    QString getTickLabel(double tick, const QLocale &, QChar, int) override
    {
        return Format.isEmpty() ? LogTimeText(tick) : FormatFloat(Format, tick);
    }
};

} // namespace

const QColor TLogChart::TraceColours[4] = {QColor(0, 128, 0), QColor(0, 0, 255), QColor(128, 0, 0),
                                           QColor(128, 0, 128)};

// --- cursors -----------------------------------------------------------------------------------------

TChartCursor::TChartCursor(QCustomPlot *plot, QCPAxisRect *rect) : QCPLayerable(plot), Rect(rect)
{
    setLayer(QStringLiteral("cursors"));
}

void TChartCursor::applyDefaultAntialiasingHint(QCPPainter *painter) const
{
    painter->setAntialiasing(false);
}

void TChartCursor::draw(QCPPainter *painter)
{
    if (!Shown)
        return;
    const QRect r = Rect->rect();
    const int x = qRound(Rect->axis(QCPAxis::atBottom)->coordToPixel(Time));
    const int y = qRound(Rect->axis(QCPAxis::atLeft)->coordToPixel(Weight));
    painter->save();
    painter->setClipRect(r);
    // Exclusive-or keeps the yellow cross visible on white and on the traces; a device without
    // raster operations (a PDF) gets the colour it shows on white.
    const bool xorMode =
        painter->paintEngine() && painter->paintEngine()->hasFeature(QPaintEngine::RasterOpModes);
    if (xorMode) {
        painter->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter->setPen(QPen(QColor(255, 255, 0), 0));
    } else {
        painter->setPen(QPen(QColor(0, 0, 255), 0));
    }
    if (x >= r.left() && x <= r.right())
        painter->drawLine(QLineF(x, r.top(), x, r.bottom()));
    if (y >= r.top() && y <= r.bottom())
        painter->drawLine(QLineF(r.left(), y, r.right(), y));
    painter->restore();
}

// --- the chart -----------------------------------------------------------------------------------------

TLogChart::TLogChart(QWidget *parent)
    : QCustomPlot(parent),
      SeriesWeight(addGraph(xAxis, yAxis)), SeriesDig{addGraph(xAxis, yAxis2), addGraph(xAxis, yAxis2),
                                                      addGraph(xAxis, yAxis2), addGraph(xAxis, yAxis2)},
      WeightData(SeriesWeight), DigData{TPlotSeries(SeriesDig[0]), TPlotSeries(SeriesDig[1]),
                                        TPlotSeries(SeriesDig[2]), TPlotSeries(SeriesDig[3])}
{
    setObjectName(QStringLiteral("Chart"));
    setFocusPolicy(Qt::StrongFocus);
    // White inside a silver frame; no title, legend or foot.
    setBackground(QBrush(QColor(192, 192, 192)));
    axisRect()->setBackground(QBrush(Qt::white));
    legend->setVisible(false);

    auto time = QSharedPointer<TLogTicker>::create();
    time->MinStep = 0.05;
    time->Minor = 4;
    xAxis->setTicker(time);
    xAxis->setLabel(LangText("Messages", "ChartTime", "Time (secs)"));
    xAxis->grid()->setVisible(false);
    auto weight = QSharedPointer<TLogTicker>::create();
    weight->Format = LogLabelFormat(0);
    yAxis->setTicker(weight);
    yAxis->grid()->setPen(QPen(QColor(192, 192, 192), 0));
    yAxis->setLabel(LangText("Messages", "ChartWeight", "Weight (%1)").arg(QString()));
    yAxis2->setVisible(false);
    yAxis2->setRange(-1, 6);
    xAxis->setRange(0, 30);
    yAxis->setRange(0, 1);

    SeriesWeight->setPen(QPen(Qt::red, 0));
    SeriesWeight->setName(QStringLiteral("SeriesWeight"));
    for (int n = 0; n < 4; ++n) {
        SeriesDig[n]->setLineStyle(QCPGraph::lsStepLeft);
        SeriesDig[n]->setPen(QPen(TraceColours[n], 0));
        SeriesDig[n]->setName(QStringLiteral("SeriesDig%1").arg(n + 1));
    }

    addLayer(QStringLiteral("cursors"), layer(QStringLiteral("axes")), QCustomPlot::limAbove);
    Cursors[0] = new TChartCursor(this, axisRect());
    Cursors[1] = new TChartCursor(this, axisRect());

    // A million points a series: lines drawn as one polyline without antialiasing (a fast line).
    setNotAntialiasedElements(QCP::aePlottables);
    setPlottingHint(QCP::phFastPolylines, true);
    setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    axisRect()->setRangeZoom(Qt::Horizontal | Qt::Vertical);
    auto user = [this] {
        if (!Setting)
            emit UserRangeChanged();
    };
    connect(xAxis, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this, user);
    connect(yAxis, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this, user);
}

void TLogChart::ShowRanges(const TLogModel &log)
{
    Setting = true;
    xAxis->setRange(log.Bottom.Min, log.Bottom.Max);
    yAxis->setRange(log.Left.Min, log.Left.Max);
    yAxis2->setRange(log.Right.Min, log.Right.Max);
    Setting = false;
    yAxis->setLabel(LangText("Messages", "ChartWeight", "Weight (%1)").arg(QString::fromUtf8(log.LogUnits)));
    const QString format = log.LeftLabelFormat();
    if (format != LeftFormat) {
        LeftFormat = format;
        if (auto ticker = yAxis->ticker().dynamicCast<TLogTicker>())
            ticker->Format = format;
    }
}

void TLogChart::Refresh()
{
    replot(QCustomPlot::rpQueuedReplot);
}

QRect TLogChart::PlotArea() const
{
    return axisRect()->rect();
}

void TLogChart::mousePressEvent(QMouseEvent *event)
{
    emit ChartMouseDown(event);
    // Shift marks cursors instead of dragging; Ctrl drags a rectangle to zoom into.
    const Qt::KeyboardModifiers keys = event->modifiers();
    setInteraction(QCP::iRangeDrag, !(keys & Qt::ShiftModifier));
    setSelectionRectMode((keys & Qt::ControlModifier) && event->button() == Qt::LeftButton ? QCP::srmZoom
                                                                                           : QCP::srmNone);
    QCustomPlot::mousePressEvent(event);
}

void TLogChart::mouseReleaseEvent(QMouseEvent *event)
{
    QCustomPlot::mouseReleaseEvent(event);
    setInteraction(QCP::iRangeDrag, true);
}
