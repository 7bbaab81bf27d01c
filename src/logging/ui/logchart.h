// TLogChart: the weight chart of the Log tab on QCustomPlot. The weight as a red line on the left
// axis, four step traces on the hidden right axis, the two cross-hair cursors, and the chart's own
// gestures (drag to scroll, wheel to zoom, Ctrl+drag to zoom into a rectangle). It keeps its points
// in the plot's own data, which the log model fills through TPlotSeries.
#pragma once

#include "logging/logmodel.h"

#include <QColor>
#include <qcustomplot.h>

// A log series kept in a graph's data.
class TPlotSeries final : public TLogSeries
{
public:
    explicit TPlotSeries(QCPGraph *graph) : Graph(graph) {}
    void Clear() override { Graph->data()->clear(); }
    void Add(double t, double y) override { Graph->addData(t, y); }
    int64_t Count() const override { return Graph->data()->size(); }
    double TimeAt(int64_t i) const override { return Graph->data()->at(static_cast<int>(i))->key; }
    double ValueAt(int64_t i) const override { return Graph->data()->at(static_cast<int>(i))->value; }
    QCPGraph *Graph;
};

// One cursor: a vertical and a horizontal line through a point of the plot, drawn in exclusive-or
// so it shows on every colour under it.
class TChartCursor : public QCPLayerable
{
    Q_OBJECT
public:
    TChartCursor(QCustomPlot *plot, QCPAxisRect *rect);
    bool Shown = false;
    double Time = 0;
    double Weight = 0;

protected:
    void applyDefaultAntialiasingHint(QCPPainter *painter) const override;
    void draw(QCPPainter *painter) override;

private:
    QCPAxisRect *Rect;
};

class TLogChart : public QCustomPlot
{
    Q_OBJECT
public:
    explicit TLogChart(QWidget *parent = nullptr);

    static const QColor TraceColours[4]; // green, blue, maroon, purple

    QCPGraph *SeriesWeight;
    QCPGraph *SeriesDig[4];
    TPlotSeries WeightData;
    TPlotSeries DigData[4];
    TChartCursor *Cursors[2];

    // Shows the model's ranges, weight-axis title and label format; the change is not the user's.
    void ShowRanges(const TLogModel &log);
    // Redraws soon (several samples in a row make one redraw).
    void Refresh();
    // True while the program itself sets the ranges.
    bool SettingRanges() const { return Setting; }
    // The plotting area, in widget pixels.
    QRect PlotArea() const;

signals:
    // The user dragged or zoomed: the axes' new ranges.
    void UserRangeChanged();
    // A mouse button went down on the chart (before any drag begins).
    void ChartMouseDown(QMouseEvent *event);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool Setting = false;
    QString LeftFormat;
};
