// The factory test results: record decoding, trade limits, chart series and the zero drift.
#include "reports/factory.h"

#include "i18n/LumsLang.h"

#include <algorithm>
#include <cmath>

namespace
{

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Byte i of the record; a pair holding any other character reads as 0.
int Byte(const QByteArray &text, int i)
{
    if (2 * i + 1 >= text.size())
        return 0;
    const int hi = HexDigit(text.at(2 * i)), lo = HexDigit(text.at(2 * i + 1));
    return hi < 0 || lo < 0 ? 0 : hi * 16 + lo;
}

int Signed(int b)
{
    return b > 127 ? b - 256 : b;
}

} // namespace

TFactoryDecode DecodeFactoryRecord(const QByteArray &text, TFactoryRecord &record)
{
    if (text.size() < 20)
        return TFactoryDecode::TooShort;
    if (Byte(text, 0) != 1 || Byte(text, 6) != 0xA5 || Byte(text, 4) != 3 ||
        text.size() != FactoryRecordLength)
        return TFactoryDecode::NotAvailable;
    TFactoryRecord r;
    r.Year = 2000 + Byte(text, 1);
    r.Month = Byte(text, 2);
    r.Day = Byte(text, 3);
    r.Count = std::min(Byte(text, 5), 9);
    r.Sy = Byte(text, 7);
    r.Sx = Byte(text, 8);
    for (int k = 0; k < 9; ++k) {
        r.X[k] = Byte(text, 9 + k);
        r.E1[k] = Signed(Byte(text, 20 + k));
        r.E2[k] = Signed(Byte(text, 31 + k));
    }
    r.T1 = Byte(text, 18);
    r.T2 = Byte(text, 29);
    record = r;
    return TFactoryDecode::Ok;
}

const QList<QPointF> &TradeLimitPoints()
{
    static const QList<QPointF> points{{0, 0.25}, {500, 0.25}, {1000, 0.5}, {2000, 0.75}, {10000, 0.75}};
    return points;
}

double TradeLimitAt(double x)
{
    double limit = TradeLimitPoints().first().y();
    for (const QPointF &p : TradeLimitPoints())
        if (x >= p.x())
            limit = p.y();
    return limit;
}

TZeroDrift ZeroDrift(const TFactoryRecord &record)
{
    TZeroDrift drift;
    if (record.Count == 0) {
        drift.Why = LangText("Messages", "DriftNoPoints", "the record holds no points");
        return drift;
    }
    if (record.T1 == record.T2) {
        drift.Why =
            LangText("Messages", "DriftSameTemperature", "both runs were at %1 Degrees C").arg(record.T1);
        return drift;
    }
    int k = 0;
    for (int i = 1; i < record.Count; ++i)
        if (record.X[i] < record.X[k])
            k = i;
    const double perCount = FactoryScale * record.Sy * MicrovoltsPerDivision;
    const double degrees = std::abs(record.T2 - record.T1);
    drift.Defined = true;
    drift.Point = k;
    drift.Divisions = record.X[k] * FactoryScale * record.Sx / MicrovoltsPerDivision;
    drift.MicrovoltsPerDegree = std::abs((record.E2[k] - record.E1[k]) * perCount) / degrees;
    drift.Step = perCount / degrees;
    // Enough decimals that one step shows as a change of the last digit (0.0014 needs three);
    // with a y scale of 0 every error reads 0 and two decimals say so.
    drift.Decimals = drift.Step > 0 ? std::clamp(int(std::ceil(-std::log10(drift.Step) - 1e-9)), 0, 6) : 2;
    return drift;
}

QString ZeroDriftText(const TZeroDrift &drift)
{
    if (!drift.Defined)
        return LangText("Messages", "DriftNone", "Drift at the lowest test point not available: %1")
            .arg(drift.Why);
    return LangText("Messages", "Drift",
                    "Drift at the lowest test point (point %1, %2 divisions) = %3 microvolts/degree C")
        .arg(drift.Point + 1)
        .arg(drift.Divisions, 0, 'f', 2)
        .arg(drift.MicrovoltsPerDegree, 0, 'f', drift.Decimals);
}

TFactoryResults FactoryResults(const TFactoryRecord &record, const QByteArray &serialNumber)
{
    TFactoryResults out;
    out.Run1.append(QPointF(0, 0));
    out.Run2.append(QPointF(0, 0));
    double xLast = 0;
    for (int k = 0; k < record.Count; ++k) {
        TFactoryPoint p;
        p.X = record.X[k] * FactoryScale * record.Sx / MicrovoltsPerDivision;
        p.Error1 = record.E1[k] * FactoryScale * record.Sy;
        p.Error2 = record.E2[k] * FactoryScale * record.Sy;
        p.Limit = TradeLimitAt(p.X);
        p.Pass1 = std::abs(p.Error1) <= p.Limit;
        p.Pass2 = std::abs(p.Error2) <= p.Limit;
        out.Pass = out.Pass && p.Pass1 && p.Pass2;
        out.Points.append(p);
        out.Run1.append(QPointF(p.X, p.Error1));
        out.Run2.append(QPointF(p.X, p.Error2));
        xLast = std::max(xLast, p.X);
    }
    // The points lie within a few divisions while the table reaches 10,000: the axis spans the points
    // (a tenth more, so that the last one is not on the frame) and the stairs up to there; without
    // points, the first stair.
    out.XMax = record.Count == 0 ? TradeLimitPoints().at(1).x() : xLast > 0 ? 1.1 * xLast : 1.0;
    for (const QPointF &p : TradeLimitPoints())
        if (p.x() < out.XMax) {
            out.UpperLimits.append(p);
            out.LowerLimits.append(QPointF(p.x(), -p.y()));
        }
    out.UpperLimits.append(QPointF(out.XMax, TradeLimitAt(out.XMax)));
    out.LowerLimits.append(QPointF(out.XMax, -TradeLimitAt(out.XMax)));
    out.Run1Title = LangText("Messages", "RunTitle", "%1 Degrees C").arg(record.T1);
    out.Run2Title = LangText("Messages", "RunTitle", "%1 Degrees C").arg(record.T2);
    double lo = 0, hi = 0;
    bool first = true;
    for (const auto *series : {&out.UpperLimits, &out.LowerLimits, &out.Run1, &out.Run2})
        for (const QPointF &p : *series) {
            lo = first ? p.y() : std::min(lo, p.y());
            hi = first ? p.y() : std::max(hi, p.y());
            first = false;
        }
    out.YMin = 1.1 * lo;
    out.YMax = 1.1 * hi;
    out.Drift = ZeroDrift(record);
    out.ZeroDriftText = ZeroDriftText(out.Drift);
    out.TitleLine1 = LangText("Messages", "FactoryTitle", "Test Results for Serial #%1")
                         .arg(QString::fromLatin1(serialNumber));
    out.TitleLine2 = QString::asprintf("%2d/%02d/%d", record.Day, record.Month, record.Year);
    const QString perDivision = QString::asprintf("%0.2f", MicrovoltsPerDivision);
    out.LeftAxisTitle =
        " " + LangText("Messages", "FactoryErrorAxis", "Error (%1 uV per division)").arg(perDivision);
    out.BottomAxisTitle =
        " " + LangText("Messages", "FactoryDivisionAxis", "Divisions (%1 uV per division)").arg(perDivision);
    return out;
}

QString FactoryVerdictText(const TFactoryResults &results)
{
    if (results.Points.isEmpty())
        return LangText("Messages", "VerdictNoPoints", "no test points (nothing to pass or fail)");
    return results.Pass ? LangText("Messages", "VerdictPass", "pass")
                        : LangText("Messages", "VerdictFail", "FAIL (errors outside the trade limits)");
}
