// The factory test chart: the trade-limit stairs and the two runs' errors. The window and
// brellin-cli's picture both draw it with this code, so the saved PNG is the chart as the window shows it.
#pragma once

#include "reports/factory.h"

#include <QSize>
#include <QString>

class QCPGraph;
class QImage;
class QCPTextElement;
class QCustomPlot;

// The chart's size in the window as it opens, and the size of the saved picture.
inline constexpr QSize FactoryChartSize{640, 420};

struct TFactoryChart {
    QCustomPlot *Plot = nullptr;
    QCPTextElement *Title = nullptr;
    // Upper and lower trade limits, then the two runs (star and cross marks).
    QCPGraph *Series1 = nullptr, *Series2 = nullptr, *Series3 = nullptr, *Series4 = nullptr;
};

// Sets up the title, the four series, the axes and the legend inside an empty plot.
TFactoryChart SetUpFactoryChart(QCustomPlot *plot);
// Fills the series, titles and ranges from the decoded results and redraws.
void ShowFactoryChart(const TFactoryChart &chart, const TFactoryResults &results);
// Draws the results at FactoryChartSize into a PNG file, written through a temporary file so that a
// failure leaves nothing behind; false with the reason. Needs a QApplication.
bool SaveFactoryChartPng(const TFactoryResults &results, const QString &fileName, QString &error);

// `image` as the whole new content of `fileName`, in PNG: encoded in memory first, then written
// through a temporary file, so that a full disk never reaches the PNG encoder (which would give up
// half way and leak its buffers) and the earlier file stays. False with the message in `error`.
bool SavePngWhole(const QImage &image, const QString &fileName, QString &error);
