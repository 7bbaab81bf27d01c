// The simulated instrument's functions: calibration steps, the data store, products, the
// clock, key presses, logging samples and the two reports.
#include "instrument.h"

#include "values/tools.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace
{

// Signed 32-bit value of a hexadecimal argument; false when it is not one.
bool HexArgument(const QByteArray &data, int32_t *value)
{
    if (data.isEmpty() || data.size() > 8)
        return false;
    for (char ch : data)
        if (!std::isxdigit(static_cast<unsigned char>(ch)))
            return false;
    *value = static_cast<int32_t>(HexToInt(data));
    return true;
}

} // namespace

// --- calibration ---------------------------------------------------------------------------

TSimAnswer TVornInstrument::Calibrate(const Tcommsobj &req)
{
    if (!FullOpen)
        return Refuse(req, StatusAccessDenied);
    if (CalStep)
        return Refuse(req, StatusIllegalOperation);
    const int reg = req.Register;
    if (reg == 0x0106 || reg == 0x0107) {
        // Direct mV/V entries take effect at once.
        int32_t v = 0;
        if (!HexArgument(req.Data, &v))
            return Refuse(req, StatusIllegalValue);
        if (v > 30000)
            return Refuse(req, StatusOverRange);
        if (v < -30000 || (reg == 0x0107 && v < 100))
            return Refuse(req, StatusUnderRange);
        if (reg == 0x0106) {
            WeightData.CalZero = v;
        } else {
            const TSimItem *fs = ModelData.Find(RegFullScale);
            WeightData.CalRef = fs ? static_cast<int32_t>(fs->Value) : 10000;
            WeightData.CalSpan = v;
        }
        CalResult = 0;
        return Ok(req, "0000");
    }
    int argument = 0;
    if (reg == 0x0104 || reg == 0x0105) {
        bool ok = false;
        argument = req.Data.toInt(&ok);
        if (!ok || argument < 0 || argument > 9)
            return Refuse(req, StatusBadParameter);
    }
    CalStep = reg;
    CalArgument = argument;
    CalEndsMs = NowMs() + Cfg.CalibrationStepMs;
    CalResult = 0;
    return Ok(req);
}

void TVornInstrument::FinishCalibration()
{
    const int64_t now = NowMs();
    if (!CalStep || now < CalEndsMs)
        return;
    const int step = CalStep;
    CalStep = 0;
    int result = FailNextCalibration ? FailNextCalibration : Cfg.CalibrationResult;
    FailNextCalibration = 0;
    if (!result && step != 0x0105 && WeightData.InMotion(now))
        result = 6; // Stability not achieved
    const auto signal = static_cast<int32_t>(std::lround(WeightData.Signal(now)));
    const TSimItem *fs = ModelData.Find(RegFullScale);
    const int64_t fullScale = fs && fs->Value > 0 ? fs->Value : 1;
    if (!result) {
        switch (step) {
        case 0x0102:
            WeightData.CalZero = signal;
            // What the signal's last digit cannot express is taken up as the zero.
            WeightData.ZeroOffset = 0;
            WeightData.ZeroOffset = WeightData.RawCounts(now);
            break;
        case 0x0103:
            if (CalWeight <= 0 || signal - WeightData.CalZero < 100) {
                result = 8; // Resolution signal strength too low
            } else {
                WeightData.CalRef = CalWeight;
                WeightData.CalSpan = signal - WeightData.CalZero;
            }
            break;
        case 0x0104: {
            const auto percent =
                static_cast<int32_t>(std::clamp<int64_t>(int64_t(CalWeight) * 100 / fullScale, 1, 100));
            for (int i = 0; i < 10; ++i)
                if (i != CalArgument && LinPoints[i] && std::abs(LinPoints[i] - percent) < 2)
                    result = 10; // Linearisation Point too close
            if (!result)
                LinPoints[CalArgument] = percent;
            break;
        }
        case 0x0105:
            LinPoints[CalArgument] = 0;
            break;
        default:
            break;
        }
    }
    CalResult = result & 0x0F;
    if (!result)
        if (TSimItem *count = ModelData.Find(0x1702))
            ++count->Value;
}

uint32_t TVornInstrument::CalibrationStatus() const
{
    if (!CalStep)
        return static_cast<uint32_t>(CalResult);
    // An instrument that knows a step will fail may say so while it winds the step down.
    const int forced = FailNextCalibration ? FailNextCalibration : Cfg.CalibrationResult;
    return 0x2000u | (Cfg.CalibrationResultEarly ? static_cast<uint32_t>(forced) & 0x0Fu : 0u);
}

QByteArray TVornInstrument::CalBlock() const
{
    QByteArray block = HexText(static_cast<uint32_t>(WeightData.CalZero), 8) +
                       HexText(static_cast<uint32_t>(WeightData.CalRef), 8) +
                       HexText(static_cast<uint32_t>(WeightData.CalSpan), 8);
    for (int32_t p : LinPoints)
        block += HexText(static_cast<uint32_t>(p) & 0xFF, 2);
    return block;
}

// --- data store ----------------------------------------------------------------------------

void TVornInstrument::AddDueRecords()
{
    if (Cfg.NewRecordEveryMs <= 0)
        return;
    const int64_t now = NowMs();
    while (now - LastRecordMs >= Cfg.NewRecordEveryMs) {
        LastRecordMs += Cfg.NewRecordEveryMs;
        RecordData.Append(InstrumentTime());
    }
}

TSimAnswer TVornInstrument::RecordRequest(const Tcommsobj &req)
{
    AddDueRecords();
    TSimRecords &r = RecordData;
    // --long-record: that record's last field padded out to the length asked for.
    auto text = [&](uint32_t n) {
        QByteArray t = r.Text(n);
        if (n == Cfg.LongRecord && t.size() < Cfg.LongRecordLength)
            t += ',' + QByteArray(Cfg.LongRecordLength - t.size() - 1, 'L');
        return t;
    };
    // "No such record" is an Unknown Error: the upload keeps those refusals quiet.
    switch (req.Register) {
    case 0x8291: {
        if (req.Data.isEmpty())
            return Refuse(req, StatusBadParameter);
        const uint32_t n = HexToInt(req.Data);
        if (r.Count() == 0)
            return Refuse(req, StatusUnknownError);
        r.Position = n < r.Oldest() ? r.Oldest() - 1 : qMin(n, r.Newest());
        return r.Has(n) ? Ok(req, text(n)) : Refuse(req, StatusUnknownError);
    }
    case 0x8292: {
        const uint32_t next = qMax(r.Position + 1, r.Oldest());
        // --endless-store: the record after the newest is always about to be made.
        if (Cfg.EndlessStore && !r.Has(next) && r.Count() > 0 && next == r.Newest() + 1)
            r.Append(InstrumentTime());
        if (!r.Has(next))
            return Refuse(req, StatusUnknownError);
        r.Position = next;
        return Ok(req, text(next));
    }
    case 0x8294:
        if (r.Count() == 0)
            return Refuse(req, StatusUnknownError);
        r.Position = r.Oldest();
        return Ok(req, text(r.Oldest()));
    case 0x8295:
        if (r.Count() == 0)
            return Refuse(req, StatusUnknownError);
        return Ok(req, text(r.Newest()));
    default:
        return Refuse(req, StatusNotImplemented);
    }
}

// --- products ------------------------------------------------------------------------------

void TVornInstrument::SelectProduct(int index)
{
    if (index < 0 || index >= Products.size())
        return;
    CurrentProduct = index;
    if (TSimItem *target = ModelData.Find(0xB020))
        target->Value = Products[index].Target;
    if (TSimItem *preTare = ModelData.Find(0xB021))
        preTare->Value = Products[index].PreTare;
    if (TSimItem *active = ModelData.Find(RegProductSelect))
        active->Value = index + 1;
}

uint32_t TVornInstrument::CheckProductName(const QByteArray &name) const
{
    if (name.trimmed().isEmpty())
        return StatusIllegalValue;
    if (name.size() > ModelData.ProductNameLength)
        return StatusOverRange;
    return 0;
}

TSimAnswer TVornInstrument::ProductRequest(const Tcommsobj &req)
{
    if (const uint32_t denied = WriteAccess(1))
        return Refuse(req, denied);
    switch (req.Register) {
    case 0xB001: // add a product, which becomes the current one
        if (const uint32_t bad = CheckProductName(req.Data))
            return Refuse(req, bad);
        if (Products.size() >= 20)
            return Refuse(req, StatusIllegalOperation);
        Products.append({req.Data, 0, 0});
        SelectProduct(static_cast<int>(Products.size()) - 1);
        break;
    case 0xB002: // clear the totals (before a product is deleted)
        ++TotalsCleared;
        break;
    case 0xB005: // delete every product; one empty product remains
        Products.clear();
        Products.append({"PRODUCT 1", 0, 0});
        SelectProduct(0);
        break;
    case 0xB011: // delete the current product
        if (Products.size() <= 1)
            return Refuse(req, StatusIllegalOperation);
        Products.removeAt(CurrentProduct);
        SelectProduct(qMin(CurrentProduct, static_cast<int>(Products.size()) - 1));
        break;
    case 0xB012: // rename the current product
    case RegProductName:
        if (const uint32_t bad = CheckProductName(req.Data))
            return Refuse(req, bad);
        Products[CurrentProduct].Name = req.Data;
        break;
    case RegProductSelect: {
        int32_t n = 0;
        if (!HexArgument(req.Data, &n))
            return Refuse(req, StatusIllegalValue);
        if (n < 1)
            return Refuse(req, StatusUnderRange);
        if (n > Products.size())
            return Refuse(req, StatusOverRange);
        SelectProduct(n - 1);
        break;
    }
    default:
        return Refuse(req, StatusNotImplemented);
    }
    Renew();
    return Ok(req);
}

// --- clock ---------------------------------------------------------------------------------

QDateTime TVornInstrument::InstrumentTime() const
{
    return ClockBase.addMSecs(NowMs() - ClockSetMs);
}

QByteArray TVornInstrument::ClockText() const
{
    return InstrumentTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")).toLatin1();
}

TSimAnswer TVornInstrument::ClockWrite(const Tcommsobj &req)
{
    int32_t v = 0;
    if (!HexArgument(req.Data, &v))
        return Refuse(req, StatusIllegalValue);
    const QDateTime now = InstrumentTime();
    int day = now.date().day(), month = now.date().month(), year = now.date().year();
    int hour = now.time().hour(), minute = now.time().minute(), second = now.time().second();
    int lo = 0, hi = 0;
    switch (req.Register) {
    case 0x0152:
        lo = 1, hi = QDate(year, month, 1).daysInMonth(), day = v;
        break;
    case 0x0153:
        lo = 1, hi = 12, month = v;
        break;
    case 0x0154:
        lo = 2000, hi = 2099, year = v;
        break;
    case 0x0155:
        lo = 0, hi = 23, hour = v;
        break;
    default:
        lo = 0, hi = 59, minute = v, second = 0;
        break;
    }
    if (v < lo)
        return Refuse(req, StatusUnderRange);
    if (v > hi)
        return Refuse(req, StatusOverRange);
    // A month or year change keeps the day inside the new month.
    day = qMin(day, QDate(year, month, 1).daysInMonth());
    ClockBase = QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
    ClockSetMs = NowMs();
    return Ok(req);
}

// --- front panel and weight -----------------------------------------------------------------

TSimAnswer TVornInstrument::KeyPress(const Tcommsobj &req)
{
    int32_t code = 0;
    if (!HexArgument(req.Data, &code))
        return Refuse(req, StatusIllegalValue);
    const int key = code & 0x7F;
    const bool longPress = (code & 0x80) != 0;
    if (code > 0xFF || key > 0x16)
        return Refuse(req, StatusIllegalValue);
    LastKey = code;
    const int64_t now = NowMs();
    // Zero and tare need a steady weight: while it moves the instrument refuses the key.
    switch (key) {
    case 0x0B: // ZERO; a long press forgets the zero
        if (longPress)
            WeightData.ZeroOffset = 0;
        else if (!WeightData.Zero(now))
            return Refuse(req, StatusIllegalOperation);
        break;
    case 0x0C: // TARE; a long press clears the tare
        if (longPress)
            WeightData.ClearTare();
        else if (!WeightData.TareNow(now))
            return Refuse(req, StatusIllegalOperation);
        break;
    case 0x0D: // GROSS/NET
        WeightData.ToggleGrossNet();
        break;
    case 0x0E: // PRINT: the reading goes into the data store
        RecordData.Append(InstrumentTime());
        break;
    default:
        break;
    }
    return Ok(req);
}

QByteArray TVornInstrument::WeightLiteral()
{
    const int64_t now = NowMs();
    const int32_t shown = WeightData.Shown(now);
    QByteArray units = ModelData.UnitsText().leftJustified(2, ' ', true);
    return SignedToDecimalText(shown, ModelData.WeightDecimals()).rightJustified(8, ' ') + ' ' + units + ' ' +
           (WeightData.NetMode ? 'N' : 'G');
}

Tcommsobj TVornInstrument::LogSample()
{
    // The stream runs on its own sample clock: sample n carries the time stamp LogFirstStamp + n
    // and the weight, steps, noise and inputs of the moment n x 40 ms, so a recording is the same
    // whatever the load of the machine that runs it.
    const int64_t at = LogSamplesSent * 40;
    const auto stamp = static_cast<uint32_t>(Cfg.LogFirstStamp + static_cast<uint64_t>(LogSamplesSent));
    ++LogSamplesSent;
    Tcommsobj m;
    m.Address = Cfg.Address & 0x1F;
    m.Command = CmdRead;
    m.Register = LogSampleRegister;
    m.Data = HexText(stamp, 8) + HexText(static_cast<uint32_t>(WeightData.Shown(at)), 8) +
             HexText(WeightData.StatusA(at), 8) + HexText(WeightData.StatusB(at), 8);
    return m;
}

// --- reports -------------------------------------------------------------------------------

QByteArray TVornInstrument::FactoryRecord() const
{
    // Format 1, tested 2008/02/18, nine points of two runs at 20 and 40 degrees C, x scale 200 and
    // y scale 100 (one error count is 0.04 divisions); the errors come from the serial number.
    const QString &use = Cfg.FactoryCase;
    const bool none = use == QLatin1String("none");
    QList<int> bytes = {
        use == QLatin1String("format") ? 2 : 1, 8, 2, none ? 5 : 18, 3, none ? 0 : 9, 0xA5, 100, 200};
    uint32_t r = SerialNumber * 2654435761u + Cfg.Seed;
    for (int k = 0; k < 9; ++k)
        bytes.append(20 + 25 * k);
    bytes.append(20);
    bytes.append(0);
    for (int k = 0; k < 9; ++k) {
        r = r * 1103515245u + 12345u;
        bytes.append(k == 0 ? 1 : static_cast<int>((r >> 16) % 9) - 4);
    }
    bytes.append(use == QLatin1String("same-temp") ? 20 : 40);
    bytes.append(0);
    for (int k = 0; k < 9; ++k) {
        r = r * 1103515245u + 12345u;
        bytes.append(k == 0 ? -4 : static_cast<int>((r >> 16) % 11) - 5);
    }
    if (use == QLatin1String("outside")) {
        bytes[20 + 4] = 9;   // +0.36 divisions against 0.25
        bytes[31 + 7] = -12; // -0.48
    }
    while (bytes.size() < 61)
        bytes.append(0);
    QByteArray text;
    for (int b : bytes)
        text += HexText(static_cast<uint32_t>(b) & 0xFF, 2);
    if (use == QLatin1String("short"))
        text.chop(1);
    else if (use == QLatin1String("long"))
        text += '0';
    return text;
}
