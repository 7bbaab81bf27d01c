// TLogTab: the Log tab's page. The chart over a bottom panel with Start, Stop, the cursor readout,
// the log comment and the four channel labels. It shows the log model and turns the chart's mouse
// events into cursors, zoom, scroll and undo; starting and stopping belong to TLogUi.
#pragma once

#include "logging/logmodel.h"

#include <QWidget>
#include <functional>

class QLabel;
class QMouseEvent;
class QPushButton;
class TLogChart;

class TLogTab : public QWidget
{
    Q_OBJECT
public:
    TLogTab(TLogModel &log, QWidget *parent = nullptr);

    TLogChart *Chart;
    QPushButton *BtnStart, *BtnStop;
    QLabel *LblCsrPos, *LblLogComment;
    QLabel *LblDig[4]; // LblDig1, lblDig2, LblDig3, lbldig4

    // Shows the model's ranges and redraws soon.
    void ShowLog();
    // The comment and channel labels from the model.
    void ShowLabels();
    // The cursor events of the chart.
    void ChartMouseDown(QMouseEvent *event);
    void ChartZoom();
    void ChartScroll();
    void ChartUndoZoom();
    // Arrow keys: a tenth of an axis (dx time, dy weight).
    void ScrollByKey(int dx, int dy);
    // The readout for the cursors as they are.
    void UpdateCursorReadout();
    // Removes both cursors and empties the readout.
    void EraseCursors();
    // The chart's context menu: undo the zoom, save the chart as a picture.
    std::function<void()> OnSavePicture;

signals:
    void StartClicked();
    void StopClicked();

private:
    void UserRangeChanged();
    void ContextMenu(const QPoint &at);
    TLogModel &Log;
};
