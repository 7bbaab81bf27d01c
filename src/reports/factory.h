// The factory test results: the record of the instrument's factory temperature test (register
// 0x0068) decoded, the trade limits it is judged against, the chart's series and texts, and the
// zero-drift figure derived from the two runs.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPointF>
#include <QString>
#include <array>

inline constexpr int FactoryRegister = 0x0068;
inline constexpr double FactoryScale = 0.0004;
inline constexpr double MicrovoltsPerDivision = 0.7;
inline constexpr int FactoryRecordLength = 122;
inline const QString FactoryNotAvailableText =
    QStringLiteral("Test Results not available for this Instrument");

struct TFactoryRecord {
    int Year = 0, Month = 0, Day = 0; // Year in full (2000 + the byte)
    int Count = 0;                    // points used, at most 9
    int Sy = 0, Sx = 0;
    std::array<int, 9> X{};
    int T1 = 0, T2 = 0;
    std::array<int, 9> E1{}, E2{};
};

enum class TFactoryDecode {
    Ok,
    TooShort,     // shorter than 20 characters: no message
    NotAvailable, // wrong format bytes or length: FactoryNotAvailableText
};

TFactoryDecode DecodeFactoryRecord(const QByteArray &text, TFactoryRecord &record);

// The trade limits as stair points (x in divisions, limit); the limit holds from its x to the next.
const QList<QPointF> &TradeLimitPoints();
double TradeLimitAt(double x);

struct TFactoryPoint {
    double X = 0;
    double Error1 = 0, Error2 = 0; // in divisions
    double Limit = 0;
    bool Pass1 = true, Pass2 = true;
};

struct TZeroDrift {
    bool Defined = false;
    double MicrovoltsPerDegree = 0;
    int Point = -1;       // the lowest-load point it comes from
    double Divisions = 0; // that point's load
    // The figure moves in steps of one error count over the temperature difference; it is shown
    // with as many decimals as tell one step from the next.
    double Step = 0;
    int Decimals = 2;
    QString Why; // when not defined
};

// The change of the error at the lowest-load point between the two runs, in microvolts (0.7 per
// division), over the difference of the runs' temperatures; undefined without points or when both
// runs were at the same temperature.
TZeroDrift ZeroDrift(const TFactoryRecord &record);
// The figure's line, named for where it is taken: the window's label and brellin-cli's line.
QString ZeroDriftText(const TZeroDrift &drift);

struct TFactoryResults {
    QList<QPointF> UpperLimits, LowerLimits, Run1, Run2; // the four series, (0, 0) first in each run
    QList<TFactoryPoint> Points;
    QString Run1Title, Run2Title;
    QString TitleLine1, TitleLine2;
    QString LeftAxisTitle, BottomAxisTitle;
    // The x range spans the points and the stairs that apply to them (the limit series end at XMax);
    // the y range spans what is drawn within it.
    double XMin = 0, XMax = 0;
    double YMin = 0, YMax = 0;
    TZeroDrift Drift;
    QString ZeroDriftText;
    bool Pass = true;
};

TFactoryResults FactoryResults(const TFactoryRecord &record, const QByteArray &serialNumber);

// The verdict in the words both the window and brellin-cli use: "pass", "FAIL (...)" or "no test
// points (...)" for a record without points.
QString FactoryVerdictText(const TFactoryResults &results);
