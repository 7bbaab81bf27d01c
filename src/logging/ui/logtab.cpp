// The Log tab's page: layout, cursors and the chart's gestures (see logtab.h).
#include "logging/ui/logtab.h"

#include "i18n/LumsLang.h"
#include "logging/ui/logchart.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

namespace
{

QLabel *MakeLabel(QWidget *parent, const char *name, const QColor &colour = QColor())
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    if (colour.isValid()) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, colour);
        label->setPalette(p);
    }
    return label;
}

} // namespace

TLogTab::TLogTab(TLogModel &log, QWidget *parent) : QWidget(parent), Log(log)
{
    setObjectName(QStringLiteral("LogTab"));
    Chart = new TLogChart(this);
    Log.SetSeries(&Chart->WeightData,
                  {&Chart->DigData[0], &Chart->DigData[1], &Chart->DigData[2], &Chart->DigData[3]});

    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("PnlLogBottom"));
    BtnStart = new QPushButton(QStringLiteral("Start"), panel);
    BtnStart->setObjectName(QStringLiteral("BtnStart"));
    BtnStop = new QPushButton(QStringLiteral("Stop"), panel);
    BtnStop->setObjectName(QStringLiteral("BtnStop"));
    LblCsrPos = MakeLabel(panel, "LblCsrPos");
    LblCsrPos->setMinimumWidth(260);
    LblLogComment = MakeLabel(panel, "LblLogComment");
    static const char *const names[4] = {"LblDig1", "lblDig2", "LblDig3", "lbldig4"};
    for (int n = 0; n < 4; ++n)
        LblDig[n] = MakeLabel(panel, names[n], TLogChart::TraceColours[n]);

    auto *labels = new QGridLayout;
    labels->addWidget(LblDig[0], 0, 0);
    labels->addWidget(LblDig[1], 0, 1);
    labels->addWidget(LblDig[2], 1, 0);
    labels->addWidget(LblDig[3], 1, 1);
    labels->setColumnMinimumWidth(0, 70);
    labels->setColumnMinimumWidth(1, 70);
    auto *row = new QHBoxLayout(panel);
    row->setContentsMargins(6, 2, 6, 2);
    row->addWidget(BtnStart);
    row->addWidget(BtnStop);
    row->addSpacing(12);
    row->addWidget(LblCsrPos);
    row->addWidget(LblLogComment, 1);
    row->addLayout(labels);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(Chart, 1);
    column->addWidget(panel);

    connect(BtnStart, &QPushButton::clicked, this, &TLogTab::StartClicked);
    connect(BtnStop, &QPushButton::clicked, this, &TLogTab::StopClicked);
    connect(Chart, &TLogChart::ChartMouseDown, this, &TLogTab::ChartMouseDown);
    connect(Chart, &TLogChart::UserRangeChanged, this, &TLogTab::UserRangeChanged);
    connect(Chart, &QCustomPlot::mouseDoubleClick, this, [this](QMouseEvent *e) {
        if (!(e->modifiers() & Qt::ShiftModifier))
            ChartUndoZoom();
    });
    connect(Chart, &QCustomPlot::mouseWheel, this, [this] { ChartZoom(); });
    Chart->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Chart, &QWidget::customContextMenuRequested, this, &TLogTab::ContextMenu);
    ShowLog();
}

void TLogTab::ShowLog()
{
    Chart->ShowRanges(Log);
    Chart->Refresh();
}

void TLogTab::ShowLabels()
{
    LblLogComment->setText(QString::fromUtf8(Log.Comment));
    for (int n = 0; n < 4; ++n)
        LblDig[n]->setText(QString::fromUtf8(Log.Labels[static_cast<size_t>(n)]));
}

void TLogTab::ChartMouseDown(QMouseEvent *event)
{
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool right = event->button() == Qt::RightButton;
    const bool left = event->button() == Qt::LeftButton;
    TChartCursor *one = Chart->Cursors[0];
    TChartCursor *two = Chart->Cursors[1];
    if (!(shift && right))
        one->Shown = false;
    two->Shown = false;
    const QPoint at = event->position().toPoint();
    if (shift && Chart->PlotArea().contains(at) && (left || right)) {
        // The cursor takes the logged sample nearest the click in time: the readout is a weight
        // that was logged, not the height of the pointer.
        TChartCursor *c = left ? one : two;
        const auto data = Chart->SeriesWeight->data();
        if (!data->isEmpty()) {
            const double t = Chart->xAxis->pixelToCoord(at.x());
            auto next = data->findBegin(t, false);
            if (next == data->constEnd() ||
                (next != data->constBegin() && t - (next - 1)->key <= next->key - t))
                --next;
            c->Time = next->key;
            c->Weight = next->value;
            c->Shown = true;
        }
    }
    UpdateCursorReadout();
    Chart->layer(QStringLiteral("cursors"))->replot();
    Chart->replot(QCustomPlot::rpQueuedReplot);
}

void TLogTab::UpdateCursorReadout()
{
    const TChartCursor *one = Chart->Cursors[0];
    const TChartCursor *two = Chart->Cursors[1];
    const QString format = Log.LeftLabelFormat();
    const QString units = QString::fromUtf8(Log.LogUnits);
    if (!one->Shown) {
        LblCsrPos->clear();
    } else if (!two->Shown) {
        LblCsrPos->setText(LangText("Messages", "CursorOne", "Logged weight: %1 %2   at   %3 sec")
                               .arg(FormatFloat(format, one->Weight), units, LogTimeText(one->Time)));
    } else {
        LblCsrPos->setText(LangText("Messages", "CursorTwo", "Logged change: %1 %2   over   %3 secs")
                               .arg(FormatFloat(format, std::fabs(two->Weight - one->Weight)), units,
                                    LogTimeText(std::fabs(two->Time - one->Time))));
    }
}

void TLogTab::EraseCursors()
{
    Chart->Cursors[0]->Shown = false;
    Chart->Cursors[1]->Shown = false;
    LblCsrPos->clear();
    Chart->Refresh();
}

void TLogTab::UserRangeChanged()
{
    // The ranges before the first gesture are the ones an undo goes back to.
    Log.RememberUnzoomed();
    Log.MarkZoomed();
    const QCPRange x = Chart->xAxis->range();
    const QCPRange y = Chart->yAxis->range();
    Log.Bottom = {x.lower, x.upper};
    Log.Left = {y.lower, y.upper};
    Log.ResetLogChart(false, {});
}

void TLogTab::ChartZoom()
{
    // The wheel's zoom arrives as a range change; this marks it before the chart redraws.
    Log.RememberUnzoomed();
    Log.MarkZoomed();
}

void TLogTab::ChartScroll()
{
    UserRangeChanged();
}

void TLogTab::ChartUndoZoom()
{
    Log.UndoZoom();
    Log.ResetLogChart(false, {});
    ShowLog();
}

void TLogTab::ScrollByKey(int dx, int dy)
{
    Log.RememberUnzoomed();
    Log.MarkZoomed();
    Log.ScrollByTenth(dx, dy);
    ShowLog();
    Chart->setFocus();
}

void TLogTab::ContextMenu(const QPoint &at)
{
    // Shift with the right button places cursor 2; only a plain right click opens the menu.
    if (QApplication::keyboardModifiers() & Qt::ShiftModifier)
        return;
    QMenu menu(this);
    menu.addAction(LangText("Messages", "UndoZoom", "Undo Zoom"), this, &TLogTab::ChartUndoZoom);
    if (OnSavePicture)
        menu.addAction(LangText("Messages", "SaveChartPicture", "Save Chart as Picture..."), this,
                       [this] { OnSavePicture(); });
    menu.exec(Chart->mapToGlobal(at));
}
