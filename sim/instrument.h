// The simulated instrument without its transport: takes one request text, answers it from the
// menu model, the access levels and session, the weight, calibration, clock, products, data
// store and reports. Tests feed it texts directly; TVornSim puts it behind TCP or a pty.
#pragma once

#include "link/comms.h"
#include "records.h"
#include "simconfig.h"
#include "simmodel.h"
#include "simweight.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <array>

// Register of the logging samples streamed after a write of "01060210" to 0x004F.
inline constexpr int LogSampleRegister = 0x0026;

// What the instrument does with one request.
struct TSimAnswer {
    bool HasReply = false;
    Tcommsobj Reply;
    QByteArray Printer; // characters that follow the reply on the line (string test)
    int LogSamples = 0; // stream this many samples at 25 per second before the reply
    int NewBaud = 0;    // switch the line to this speed after the reply
};

class TVornInstrument
{
public:
    explicit TVornInstrument(const TVornSimConfig &config);
    // Loads the model and sets the instrument up; false with a reason when the model is bad.
    bool Setup(QString *error);

    TSimAnswer Handle(const QByteArray &text);
    // A request longer than the instrument's buffer: refused (Bad Parameter) when its start
    // names a register for this instrument, else ignored.
    TSimAnswer TooLong(const QByteArray &start);
    // The reply text for a request text (empty when the instrument stays silent).
    QByteArray Request(const QByteArray &text);
    // One logging sample message (register LogSampleRegister, 32 characters of data), the next of
    // the stream: time stamps one count (0.04 s) apart from Config().LogFirstStamp on.
    Tcommsobj LogSample();
    int64_t LogSamplesSent = 0;

    // Instrument time in ms; tests move it on without waiting.
    int64_t NowMs() const { return Clock.elapsed() + TimeShiftMs; }
    void AdvanceTime(int64_t ms) { TimeShiftMs += ms; }

    TSimModel &Model() { return ModelData; }
    TSimWeight &Weight() { return WeightData; }
    TSimRecords &Records() { return RecordData; }
    const TVornSimConfig &Config() const { return Cfg; }

    // State visible to tests and the demo.
    uint32_t SerialNumber = 0;
    uint32_t SafePasscode = 0;
    uint32_t FullPasscode = 0;
    bool SafeOpen = false;
    bool FullOpen = false;
    bool SessionOpen = false;
    int LineBaud = 9600;
    int KeepAlives = 0;
    int SavesDone = 0;
    int LastKey = -1;
    int TransfersEnded = 0;
    // The next calibration step ends with this code (0: none forced), then it is cleared.
    int FailNextCalibration = 0;
    std::array<int32_t, 10> LinPoints{};
    struct TProduct {
        QByteArray Name;
        int64_t Target = 0;
        int64_t PreTare = 0;
    };
    QList<TProduct> Products;
    int CurrentProduct = 0;
    int TotalsCleared = 0;

private:
    TSimAnswer Ok(const Tcommsobj &req, const QByteArray &data = {}) const;
    TSimAnswer Refuse(const Tcommsobj &req, uint32_t status) const;
    TSimAnswer Read(const Tcommsobj &req);
    TSimAnswer Write(const Tcommsobj &req);
    TSimAnswer Execute(const Tcommsobj &req);
    TSimAnswer Query(const Tcommsobj &req);
    static constexpr int FanRegister = 0xF000; // the submenus of --menu-fanout
    TSimAnswer MenuList(const Tcommsobj &req);
    TSimAnswer MenuItem(const Tcommsobj &req);
    TSimAnswer Calibrate(const Tcommsobj &req);
    TSimAnswer RecordRequest(const Tcommsobj &req);
    TSimAnswer ProductRequest(const Tcommsobj &req);
    TSimAnswer ClockWrite(const Tcommsobj &req);
    TSimAnswer KeyPress(const Tcommsobj &req);

    bool LevelOpen(int level) const { return level >= 2 ? FullOpen : (SafeOpen || FullOpen); }
    // 0 when a setting write at this level may go ahead, else the refusal's status.
    uint32_t WriteAccess(int level);
    void Renew();
    void CheckSessionLapse();
    void FinishCalibration();
    // Register 0x0021: 0x2000 while a step runs, else the last step's result code.
    uint32_t CalibrationStatus() const;
    void AddDueRecords();
    void SelectProduct(int index);
    uint32_t CheckProductName(const QByteArray &name) const;

    QByteArray WeightLiteral();
    QByteArray ClockText() const;
    QDateTime InstrumentTime() const;
    QByteArray CalBlock() const;
    QByteArray FactoryRecord() const;
    QByteArray DisplayValue();

    TVornSimConfig Cfg;
    TSimModel ModelData;
    TSimWeight WeightData;
    TSimRecords RecordData;
    QElapsedTimer Clock;
    int64_t TimeShiftMs = 0;
    int64_t LastRenewMs = 0;
    bool SessionLapsed = false;
    int64_t LastRecordMs = 0;
    // The instrument's clock: this date and time at ClockSetMs.
    QDateTime ClockBase;
    int64_t ClockSetMs = 0;
    // Calibration.
    int32_t CalWeight = 0; // register 0x0100
    int CalStep = 0;       // register of the step in progress, 0 when none
    int CalArgument = 0;
    int64_t CalEndsMs = 0;
    int CalResult = 0;
};
