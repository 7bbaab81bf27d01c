// The rules of the chart-setup fields: which keys a number field takes, how a field is rewritten
// when left and its range, the fields filled from the chart, and the ranges Auto proposes.
#pragma once

#include "logmodel.h"

#include <QByteArray>
#include <QChar>
#include <QString>

inline constexpr char OutOfRangeText[] = "Out of Range: (%s to %s)";

// Digits, control characters, blank, "+", ",", "-" and "." are typed; other printable characters
// are discarded.
bool ChartFieldKeyAccepted(QChar ch);

struct TChartFieldCheck {
    QByteArray Text; // the field rewritten
    bool InRange = true;
    QString Error; // "Out of Range: (0 to 1000)" when not
};
// A time field cut to whole seconds, 0 .. 1000.
TChartFieldCheck CheckTimeField(const QByteArray &text);
// A weight field with `decimals` places, -999999 .. 999999 in units of the last digit.
TChartFieldCheck CheckWeightField(const QByteArray &text, int decimals);

struct TChartSetupFields {
    QByteArray StartTime, EndTime, MinWeight, MaxWeight;
};
// The fields as the dialog opens: the chart's axis ranges.
TChartSetupFields ChartSetupFill(const TLogModel &log, int decimals);
// Auto: 0 to the last time, the weights with a tenth of their spread either side. False with a
// reason when there is nothing to fit.
bool ChartSetupAuto(const TLogModel &log, int decimals, TChartSetupFields *fields, QString *error);
// The value of a field as the chart takes it (blanks and a leading "+" do not turn it into 0).
double ChartFieldValue(const QByteArray &text);
// Applies the fields to the axes; each axis keeps its range when the new one is empty or reversed,
// and the reason comes back in *error.
bool ApplyChartSetup(TLogModel &log, const TChartSetupFields &fields, QString *error);
// The ranges the fields give, both or none: false with the reason when either axis' minimum is not
// below its maximum.
bool ChartSetupRanges(const TChartSetupFields &fields, TLogRange *bottom, TLogRange *left, QString *error);
