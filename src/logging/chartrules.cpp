// Chart-setup field rules and Auto (see chartrules.h).
#include "chartrules.h"

#include "i18n/LumsLang.h"
#include "values/tools.h"

namespace
{

QString RangeError(int32_t low, int32_t high, int decimals)
{
    return QString::asprintf(OutOfRangeText, SignedToDecimalText(low, decimals).constData(),
                             SignedToDecimalText(high, decimals).constData());
}

TChartFieldCheck Check(const QByteArray &text, int decimals, int32_t low, int32_t high)
{
    TChartFieldCheck c;
    c.Text = FixDecimals(text, decimals);
    // More digits than a 64-bit count holds would wrap into the range: such a number is out of it.
    int digits = 0;
    for (char ch : c.Text)
        if (IsDigit(ch) && (digits > 0 || ch != '0'))
            ++digits;
    const int64_t v = DigitsToInt(c.Text);
    if (digits > 18 || v < low || v > high) {
        c.InRange = false;
        c.Error = RangeError(low, high, decimals);
    }
    return c;
}

bool ApplyRange(TLogRange &axis, double min, double max, QString *error)
{
    if (!(min < max)) {
        if (error && error->isEmpty())
            *error =
                LangText("Messages", "AxisOrder", "The axis minimum (%1) must be below its maximum (%2).")
                    .arg(LogTimeText(min), LogTimeText(max));
        return false;
    }
    axis = {min, max};
    return true;
}

} // namespace

bool ChartFieldKeyAccepted(QChar ch)
{
    const char16_t c = ch.unicode();
    if (c < 0x20 || c == 0x7F)
        return true; // control characters: backspace and the like
    return (c >= '0' && c <= '9') || c == ' ' || c == '+' || c == ',' || c == '-' || c == '.';
}

TChartFieldCheck CheckTimeField(const QByteArray &text)
{
    return Check(text, 0, 0, 1000);
}

TChartFieldCheck CheckWeightField(const QByteArray &text, int decimals)
{
    return Check(text, decimals, -999999, 999999);
}

TChartSetupFields ChartSetupFill(const TLogModel &log, int decimals)
{
    return {FloatToDecimalText(0, log.Bottom.Min), FloatToDecimalText(0, log.Bottom.Max),
            FloatToDecimalText(decimals, log.Left.Min), FloatToDecimalText(decimals, log.Left.Max)};
}

bool ChartSetupAuto(const TLogModel &log, int decimals, TChartSetupFields *fields, QString *error)
{
    if (!log.HasWeights()) {
        if (error)
            *error =
                LangText("Messages", "NoWeightsToFit", "There are no logged weights to fit the chart to.");
        return false;
    }
    const double m = (log.Highest() - log.Lowest()) / 10;
    fields->StartTime = "0";
    fields->EndTime = FloatToDecimalText(0, log.LargestTime());
    fields->MaxWeight = FloatToDecimalText(decimals, log.Highest() + m);
    fields->MinWeight = FloatToDecimalText(decimals, log.Lowest() - m);
    return true;
}

double ChartFieldValue(const QByteArray &text)
{
    QByteArray t = text.trimmed();
    if (t.startsWith('+'))
        t.remove(0, 1);
    return DecimalTextToFloat(t);
}

bool ApplyChartSetup(TLogModel &log, const TChartSetupFields &fields, QString *error)
{
    if (error)
        error->clear();
    const bool time =
        ApplyRange(log.Bottom, ChartFieldValue(fields.StartTime), ChartFieldValue(fields.EndTime), error);
    const bool weight =
        ApplyRange(log.Left, ChartFieldValue(fields.MinWeight), ChartFieldValue(fields.MaxWeight), error);
    return time && weight;
}

bool ChartSetupRanges(const TChartSetupFields &fields, TLogRange *bottom, TLogRange *left, QString *error)
{
    TLogRange time, weight;
    QString reason;
    const bool timeOk =
        ApplyRange(time, ChartFieldValue(fields.StartTime), ChartFieldValue(fields.EndTime), &reason);
    const bool weightOk =
        ApplyRange(weight, ChartFieldValue(fields.MinWeight), ChartFieldValue(fields.MaxWeight), &reason);
    if (!timeOk || !weightOk) {
        if (error)
            *error = (timeOk ? LangText("Messages", "AxisWeight", "Weight: %1")
                             : LangText("Messages", "AxisTime", "Time: %1"))
                         .arg(reason);
        return false;
    }
    *bottom = time;
    *left = weight;
    return true;
}
