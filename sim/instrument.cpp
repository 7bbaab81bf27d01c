// The simulated instrument's request handling: addressing, access levels and the session,
// register reads and writes, and the menu queries answered from the model.
#include "instrument.h"

#include "values/tools.h"

#include <QFile>

TVornInstrument::TVornInstrument(const TVornSimConfig &config) : Cfg(config)
{
    Clock.start();
}

bool TVornInstrument::Setup(QString *error)
{
    QByteArray json = Cfg.ModelJson;
    if (json.isEmpty() && !Cfg.ModelFile.isEmpty()) {
        QFile file(Cfg.ModelFile);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read model %1: %2").arg(Cfg.ModelFile, file.errorString());
            return false;
        }
        json = file.readAll();
    }
    if (json.isEmpty())
        json = TSimModel::DefaultJson();
    if (!ModelData.Load(json, error))
        return false;
    SerialNumber = Cfg.SerialNumber >= 0 ? static_cast<uint32_t>(Cfg.SerialNumber) : ModelData.SerialNumber;
    SafePasscode = Cfg.SafePasscode >= 0 ? static_cast<uint32_t>(Cfg.SafePasscode) : ModelData.SafePasscode;
    FullPasscode = Cfg.FullPasscode >= 0 ? static_cast<uint32_t>(Cfg.FullPasscode) : ModelData.FullPasscode;
    // A level without a passcode is always open.
    SafeOpen = SafePasscode == 0;
    FullOpen = FullPasscode == 0;
    Products.clear();
    for (const QByteArray &name : ModelData.ProductNames)
        Products.append({name, 0, 0});
    if (Products.isEmpty())
        Products.append({"PRODUCT 1", 0, 0});
    CurrentProduct = 0;
    RecordData.Generate(Cfg.Records, Cfg.FirstRecord, Cfg.Seed);
    WeightData.Noise = Cfg.WeightNoise;
    WeightData.StepEveryMs = Cfg.WeightStepEveryMs;
    WeightData.StepSize = Cfg.WeightStepSize;
    WeightData.Seed = Cfg.Seed;
    WeightData.SetLoad(Cfg.WeightLevel, NowMs() - WeightData.MotionMs);
    ClockBase = QDateTime::currentDateTime();
    ClockBase.setTimeSpec(Qt::UTC);
    ClockSetMs = NowMs();
    LastRecordMs = NowMs();
    return true;
}

TSimAnswer TVornInstrument::Ok(const Tcommsobj &req, const QByteArray &data) const
{
    TSimAnswer a;
    a.HasReply = true;
    a.Reply.Address = Cfg.Address & 0x1F;
    a.Reply.Command = req.Command;
    a.Reply.Register = req.Register;
    a.Reply.Data = data;
    return a;
}

TSimAnswer TVornInstrument::Refuse(const Tcommsobj &req, uint32_t status) const
{
    TSimAnswer a = Ok(req, HexText(status, 4));
    a.Reply.ErrorFlag = true;
    a.Reply.Status = status;
    return a;
}

QByteArray TVornInstrument::Request(const QByteArray &text)
{
    const TSimAnswer a = Handle(text);
    return a.HasReply ? a.Reply.Encode() : QByteArray();
}

TSimAnswer TVornInstrument::Handle(const QByteArray &text)
{
    if (text == "00110005") {
        // The fast optical link's keep-alive: nothing to answer.
        ++KeepAlives;
        return {};
    }
    Tcommsobj req;
    if (!req.Decode(text))
        return {};
    if (req.Address != 0 && req.Address != (Cfg.Address & 0x1F))
        return {};
    if (!req.RequestFlag) {
        // Link control: no reply, the line follows at once.
        if (req.Command == CmdExecute && req.Register == 0x0078) {
            TSimAnswer a;
            if (req.Data == "E100")
                a.NewBaud = 57600;
            else if (req.Data == "2580")
                a.NewBaud = 9600;
            if (a.NewBaud)
                LineBaud = a.NewBaud;
            return a;
        }
        return {};
    }
    CheckSessionLapse();
    FinishCalibration();
    if (Cfg.RefuseAll)
        return Refuse(req, StatusUnknownError);
    switch (req.Command) {
    case CmdRead:
        return Read(req);
    case CmdWrite:
        return Write(req);
    case CmdExecute:
        return Execute(req);
    case CmdReadMenu:
        return MenuList(req);
    case CmdReadItem:
        return MenuItem(req);
    case CmdReadType:
    case CmdReadMinimum:
    case CmdReadLimit:
    case CmdReadFormatted:
    case CmdReadOption:
    case CmdReadPermission:
        return Query(req);
    default:
        return Refuse(req, StatusNotImplemented);
    }
}

TSimAnswer TVornInstrument::TooLong(const QByteArray &start)
{
    Tcommsobj req;
    if (!req.Decode(start.left(9)) || !req.RequestFlag)
        return {};
    if (req.Address != 0 && req.Address != (Cfg.Address & 0x1F))
        return {};
    return Refuse(req, StatusBadParameter);
}

void TVornInstrument::Renew()
{
    SessionOpen = true;
    SessionLapsed = false;
    LastRenewMs = NowMs();
}

void TVornInstrument::CheckSessionLapse()
{
    if (SessionOpen && NowMs() - LastRenewMs > static_cast<int64_t>(Cfg.SessionTimeoutSec) * 1000) {
        SessionOpen = false;
        SessionLapsed = true;
        if (Cfg.LapseLocksLevels) {
            SafeOpen = SafePasscode == 0;
            FullOpen = FullPasscode == 0;
        }
    }
}

uint32_t TVornInstrument::WriteAccess(int level)
{
    if (!SessionOpen)
        return SessionLapsed ? StatusSessionTimedOut : StatusAccessDenied;
    if (!LevelOpen(level))
        return StatusAccessDenied;
    return 0;
}

TSimAnswer TVornInstrument::Read(const Tcommsobj &req)
{
    const int64_t now = NowMs();
    switch (req.Register) {
    case 0x0001:
        return Ok(req, "00");
    case 0x0003:
        return Ok(req, ModelData.ModelText);
    case 0x0004:
        return Ok(req, ModelData.VersionText);
    case 0x0005:
        return Ok(req, HexText(SerialNumber, 8));
    case 0x0008:
        return Ok(req, HexText(static_cast<uint32_t>(qMax(LastKey, 0)), 4));
    case 0x0009:
        return Ok(req, DisplayValue());
    case 0x0019:
        return FullOpen ? (Renew(), Ok(req, "0000")) : Refuse(req, StatusAccessDenied);
    case 0x001A:
        return LevelOpen(1) ? (Renew(), Ok(req, "0000")) : Refuse(req, StatusAccessDenied);
    case 0x00D0:
        return FullOpen ? Ok(req, HexText(FullPasscode, 4)) : Refuse(req, StatusAccessDenied);
    case 0x00D1:
        return LevelOpen(1) ? Ok(req, HexText(SafePasscode, 4)) : Refuse(req, StatusAccessDenied);
    case 0x00EF:
        return Ok(req, SessionOpen ? "FF" : "00");
    case 0x0021:
        return Ok(req, HexText(CalibrationStatus(), 4));
    case 0x0025: {
        const int32_t shown = WeightData.Shown(now);
        return Ok(req, HexText(static_cast<uint32_t>(shown), shown < 0 ? 8 : 4));
    }
    case 0x0052: {
        if (req.Data.size() != 4)
            return Refuse(req, StatusBadParameter);
        const uint32_t arg = HexToInt(req.Data);
        const int group = static_cast<int>(arg >> 8), item = static_cast<int>(arg & 0xFF);
        const auto &groups = ModelData.Allocation;
        if (Cfg.AllocationCase != QLatin1String("empty") && group < groups.size() &&
            item < groups[group].size())
            return Ok(req, groups[group][item]);
        return Ok(req);
    }
    case 0x0068:
        if (Cfg.FactoryCase == QLatin1String("refused"))
            return Refuse(req, StatusBadParameter);
        return Ok(req, FactoryRecord());
    case 0x00F8:
        return FullOpen ? Ok(req, CalBlock()) : Refuse(req, StatusAccessDenied);
    case 0x0100:
        return Ok(req, HexText(static_cast<uint32_t>(CalWeight), CalWeight < 0 ? 8 : 4));
    case 0x0111:
    case 0x0112:
    case 0x0113: {
        const int32_t v = req.Register == 0x0111   ? WeightData.CalZero
                          : req.Register == 0x0112 ? WeightData.CalRef
                                                   : WeightData.CalSpan;
        return Ok(req, HexText(static_cast<uint32_t>(v), v < 0 ? 8 : 4));
    }
    case 0x0121: {
        const TSimItem *fs = ModelData.Find(RegFullScale);
        return Ok(req, HexText(static_cast<uint32_t>(fs ? fs->Value : 0), 4));
    }
    case 0x0150:
        return Ok(req, ClockText());
    case 0x0152:
    case 0x0153:
    case 0x0154:
    case 0x0155:
    case 0x0156: {
        const QDateTime t = InstrumentTime();
        const int parts[] = {t.date().day(), t.date().month(), t.date().year(), t.time().hour(),
                             t.time().minute()};
        return Ok(req, HexText(static_cast<uint32_t>(parts[req.Register - 0x0152]), 1));
    }
    case RegProductName:
        return Ok(req, Products[CurrentProduct].Name);
    case RegProductSelect:
        return Ok(req, HexText(static_cast<uint32_t>(CurrentProduct + 1), 4));
    default:
        break;
    }
    const TSimItem *item = ModelData.Find(req.Register);
    if (!item || !ModelData.HasValue(*item))
        return Refuse(req, StatusNotImplemented);
    if ((item->Permission & 3) >= 2 && !FullOpen)
        return Refuse(req, StatusAccessDenied);
    return Ok(req, ModelData.ValueText(*item));
}

TSimAnswer TVornInstrument::Write(const Tcommsobj &req)
{
    switch (req.Register) {
    case 0x0001:
    case 0x0003:
    case 0x0004:
    case 0x0005:
    case 0x0009:
    case 0x0021:
    case 0x0025:
    case 0x0052:
    case 0x0068:
    case 0x0150:
        return Refuse(req, StatusIllegalOperation);
    case 0x0008:
        return KeyPress(req);
    case 0x0019:
    case 0x001A: {
        // The passcode, as the hexadecimal text of its decimal value. Anything else locks.
        const bool full = req.Register == 0x0019;
        const uint32_t code = full ? FullPasscode : SafePasscode;
        const bool good = !req.Data.isEmpty() && req.Data.size() <= 8 && HexToInt(req.Data) == code;
        (full ? FullOpen : SafeOpen) = good || code == 0;
        if (!good)
            return Refuse(req, StatusAccessDenied);
        Renew();
        return Ok(req);
    }
    case 0x00EF:
        if (req.Data == "FF") {
            Renew();
            return Ok(req);
        }
        if (req.Data == "01") {
            SessionOpen = false;
            SessionLapsed = false;
            return Ok(req);
        }
        return Refuse(req, StatusIllegalValue);
    case 0x004D: {
        // String test: the text goes out on the line as the printer would get it.
        TSimAnswer a = Ok(req);
        a.Printer = SimUnescape(req.Data) + "\r\n";
        return a;
    }
    case 0x004F:
        if (req.Data != MsgStartLogging)
            return Refuse(req, StatusIllegalValue);
        {
            TSimAnswer a = Ok(req);
            a.LogSamples = qMax(Cfg.LogBurstSamples, 0);
            return a;
        }
    case 0x0100: {
        if (!FullOpen)
            return Refuse(req, StatusAccessDenied);
        if (req.Data.isEmpty() || req.Data.size() > 8)
            return Refuse(req, StatusIllegalValue);
        CalWeight = static_cast<int32_t>(HexToInt(req.Data));
        return Ok(req);
    }
    case 0x00F8: {
        if (const uint32_t denied = WriteAccess(2))
            return Refuse(req, denied);
        const QByteArray &d = req.Data;
        if (d.size() != 44 || !std::all_of(d.begin(), d.end(), [](char c) { return std::isxdigit(c); }))
            return Refuse(req, StatusIllegalValue);
        WeightData.CalZero = static_cast<int32_t>(HexToInt(d.mid(0, 8)));
        WeightData.CalRef = static_cast<int32_t>(HexToInt(d.mid(8, 8)));
        WeightData.CalSpan = static_cast<int32_t>(HexToInt(d.mid(16, 8)));
        for (int i = 0; i < 10; ++i)
            LinPoints[i] = static_cast<int32_t>(HexToInt(d.mid(24 + 2 * i, 2)));
        Renew();
        return Ok(req);
    }
    case 0x0152:
    case 0x0153:
    case 0x0154:
    case 0x0155:
    case 0x0156:
        return ClockWrite(req);
    case RegProductName:
    case RegProductSelect:
        return ProductRequest(req);
    default:
        break;
    }
    TSimItem *item = ModelData.Find(req.Register);
    if (!item)
        return Refuse(req, StatusNotImplemented);
    if (!ModelData.HasValue(*item))
        return Refuse(req, StatusIllegalOperation);
    if (const uint32_t denied = WriteAccess(item->Level))
        return Refuse(req, denied);
    if (const uint32_t bad = ModelData.Write(*item, req.Data))
        return Refuse(req, bad);
    if (item->Register == 0xB020)
        Products[CurrentProduct].Target = item->Value;
    else if (item->Register == 0xB021)
        Products[CurrentProduct].PreTare = item->Value;
    Renew();
    return Ok(req);
}

TSimAnswer TVornInstrument::Execute(const Tcommsobj &req)
{
    const int reg = req.Register;
    if (reg >= 0x0102 && reg <= 0x0107)
        return Calibrate(req);
    if (reg >= 0x8291 && reg <= 0x8295)
        return RecordRequest(req);
    switch (reg) {
    case 0x0010:
        // Saving locks the passcode levels again; the program re-opens what it had open.
        ModelData.SaveValues();
        ++SavesDone;
        SafeOpen = SafePasscode == 0;
        FullOpen = FullPasscode == 0;
        return Ok(req);
    case 0x0016:
        // A reset starts the instrument afresh from its saved settings.
        ModelData.RestoreValues();
        SelectProduct(qMin(CurrentProduct, static_cast<int>(Products.size()) - 1));
        SessionOpen = false;
        SafeOpen = SafePasscode == 0;
        FullOpen = FullPasscode == 0;
        return Ok(req);
    case 0x00EE:
        return Ok(req);
    case 0x00ED:
        if (req.Data != "00")
            return Refuse(req, StatusIllegalValue);
        ++TransfersEnded;
        return Ok(req);
    case 0x0078: {
        TSimAnswer a = Ok(req);
        if (req.Data == "E100")
            a.NewBaud = 57600;
        else if (req.Data == "2580")
            a.NewBaud = 9600;
        else
            return Refuse(req, StatusIllegalValue);
        LineBaud = a.NewBaud;
        return a;
    }
    case 0x0115: {
        bool ok = false;
        const int i = req.Data.toInt(&ok);
        if (!ok || i < 0 || i > 9)
            return Refuse(req, StatusBadParameter);
        return Ok(req, HexText(static_cast<uint32_t>(LinPoints[i]), 4));
    }
    case 0xB001:
    case 0xB002:
    case 0xB005:
    case 0xB011:
    case 0xB012:
        return ProductRequest(req);
    default:
        return Refuse(req, StatusNotImplemented);
    }
}

TSimAnswer TVornInstrument::Query(const Tcommsobj &req)
{
    // Registers outside the menu that still answer some of the catalogue's questions.
    switch (req.Register) {
    case 0x0025:
        if (req.Command == CmdReadFormatted)
            return Ok(req, WeightLiteral());
        if (req.Command == CmdReadType)
            return Ok(req, "01");
        break;
    case 0x0150:
        if (req.Command == CmdReadFormatted)
            return Ok(req, ClockText());
        break;
    case 0x0005:
        if (req.Command == CmdReadFormatted)
            return Ok(req, QByteArray::number(SerialNumber));
        break;
    case RegProductName:
        if (req.Command == CmdReadLimit)
            return Ok(req, HexText(static_cast<uint32_t>(ModelData.ProductNameLength), 4));
        if (req.Command == CmdReadType)
            return Ok(req, "06");
        if (req.Command == CmdReadFormatted)
            return Ok(req, Products[CurrentProduct].Name);
        if (req.Command == CmdReadPermission)
            return Ok(req, "80");
        if (req.Command == CmdReadMinimum)
            return Ok(req, "0000");
        break;
    case RegProductSelect:
        if (req.Command == CmdReadLimit)
            return Ok(req, HexText(static_cast<uint32_t>(Products.size()), 4));
        break;
    default:
        break;
    }
    const TSimItem *item = ModelData.Find(req.Register);
    if (!item)
        return Refuse(req, StatusNotImplemented);
    switch (req.Command) {
    case CmdReadType:
        return Ok(req, HexText(static_cast<uint32_t>(item->Type), 2));
    case CmdReadPermission:
        return Ok(req, HexText(static_cast<uint32_t>(item->Permission), 2));
    default:
        break;
    }
    if (!ModelData.HasValue(*item))
        return Refuse(req, StatusIllegalOperation);
    switch (req.Command) {
    case CmdReadMinimum:
        return Ok(req, ModelData.MinimumText(*item));
    case CmdReadLimit:
        return Ok(req, ModelData.MaximumText(*item));
    case CmdReadFormatted:
        if ((item->Permission & 3) >= 2 && !FullOpen)
            return Refuse(req, StatusAccessDenied);
        return Ok(req, ModelData.Literal(*item));
    case CmdReadOption: {
        if (item->Options.isEmpty())
            return Refuse(req, StatusIllegalOperation);
        const int64_t index = static_cast<int64_t>(HexToInt(req.Data)) - item->Minimum;
        if (req.Data.isEmpty() || index < 0 || index >= item->Options.size())
            return Refuse(req, index < 0 ? StatusUnderRange : StatusOverRange);
        return Ok(req, item->Options[static_cast<int>(index)]);
    }
    default:
        return Refuse(req, StatusNotImplemented);
    }
}

TSimAnswer TVornInstrument::MenuList(const Tcommsobj &req)
{
    QByteArray list;
    if (req.Register == RegProductMenu) {
        // The product menu: the current-product menu under key 1, then one menu per product.
        const int key = static_cast<int>(HexToInt(req.Data));
        if (key == 0) {
            list = "B1000001";
            for (int i = 0; i < Products.size(); ++i)
                list += "B100" + HexText(static_cast<uint32_t>(i + 2), 4);
            return Ok(req, list);
        }
        if (key == 1) {
            for (const auto &e : ModelData.MenuEntries(0xB102))
                list += HexText(static_cast<uint32_t>(e.first), 4) + "0000";
            return Ok(req, list);
        }
        if (key - 2 >= Products.size())
            return Refuse(req, StatusIllegalValue);
        // Opening a product's menu makes it the current product.
        SelectProduct(key - 2);
        for (const auto &e : ModelData.MenuEntries(0xB101))
            list += HexText(static_cast<uint32_t>(e.first), 4) + "0000";
        return Ok(req, list);
    }
    // --menu-fanout: every menu lists the submenus 0xF000.. instead of its items, each listing them again.
    const bool fan =
        Cfg.MenuFanout > 0 && req.Register >= FanRegister && req.Register < FanRegister + Cfg.MenuFanout;
    if (!fan && !ModelData.Menu(req.Register))
        return Refuse(req, StatusNotImplemented);
    if (Cfg.MenuFanout == 0)
        for (const auto &e : ModelData.MenuEntries(req.Register))
            list += HexText(static_cast<uint32_t>(e.first), 4) + HexText(static_cast<uint32_t>(e.second), 4);
    for (int i = 0; i < Cfg.MenuFanout; ++i)
        list += HexText(static_cast<uint32_t>(FanRegister + i), 4) + "0000";
    return Ok(req, list);
}

TSimAnswer TVornInstrument::MenuItem(const Tcommsobj &req)
{
    if (req.Register == RegProductMenu) {
        const int key = static_cast<int>(HexToInt(req.Data));
        const TSimItem *menu = ModelData.Find(RegProductMenu);
        if (key == 0)
            return Ok(req, "0800" + (menu ? menu->Name : QByteArray("PRODUCTS")));
        if (key == 1) {
            const TSimItem *current = ModelData.Find(0xB102);
            return Ok(req, "0800" + (current ? current->Name : QByteArray("CURRENT")));
        }
        if (key - 2 >= Products.size())
            return Refuse(req, StatusIllegalValue);
        // Naming a product's entry tells the instrument which product the program has selected.
        SelectProduct(key - 2);
        return Ok(req, "0800" + Products[key - 2].Name);
    }
    if (Cfg.MenuFanout > 0 && req.Register >= FanRegister && req.Register < FanRegister + Cfg.MenuFanout)
        return Ok(req, "0800SUB" + QByteArray::number(req.Register - FanRegister + 1));
    const TSimItem *item = ModelData.Find(req.Register);
    if (!item)
        return Refuse(req, StatusNotImplemented);
    return Ok(req, HexText(static_cast<uint32_t>(item->Type), 2) + "00" + item->Name);
}
