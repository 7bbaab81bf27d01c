// vornsim: a simulated Vorn instrument behind loopback TCP and/or a pseudo-terminal.
//
// In-process use (tests, the desktop demo):
//     TVornSimConfig cfg;  cfg.TcpPort = 0;            // or cfg.UsePty = true (cfg.PtyLink optional)
//     TVornSim sim(cfg);   if (!sim.Start(&error)) ...
//     sim.Port() / sim.PtyPath() / sim.ReadyLine()     // where to connect
//     sim.Instrument()                                 // TVornInstrument: state, AdvanceTime(ms),
//     Request(text)
// It runs on the caller's event loop (no threads). TVornInstrument::Request(text) answers a request
// text directly, without any transport. Faults on demand come from the config (simconfig.h), and
// so does a real line's timing (Baud, FrameBits, TurnaroundMs; none unless Baud is given).
//
// The built-in instrument (TSimModel::DefaultJson, sim/defaultmodel.cpp; --model FILE.json replaces it):
// - identification: 0x0001 "00", 0x0003 "V500", 0x0004 "V1.04", 0x0005 serial 1234567 (hex 0012D687);
//   unit address 1 (requests to address 0 reach it too; other addresses are ignored).
// - passcodes: safe 1234 (write "4D2" to 0x001A), full 5678 (write "162E" to 0x0019); 0x00D1/0x00D0
//   answer them while the level is open; a wrong value locks the level again; a passcode of 0
//   leaves its level open. Executing 0x0010 (save) locks both levels again, as the instrument
//   restarts its setup; the program re-opens them with the 0x00D0/0x00D1 values.
// - session: 0x00EF "FF" opens/renews, "01" ends; a passcode entry or accepted write renews it too.
//   It lapses after SessionTimeoutSec (30) without renewal (with LapseLocksLevels the levels that
//   have a passcode lock too). Setting writes need an open session
//   (else 0x1000, or 0x0010 after a lapse) and their item's level open (level 2 for items whose
//   permission has bits 0-1 >= 2).
// - menus: setup 0x0011 "SETUP" with BUILD 1100 (TYPE 1101 [17], DP 0031 [7], UNITS 0030 [7],
//   FULLSCAL 002F [1, kg], E 1104 [3], HI.RES, CABLE), OPTIONS 1200 (USE 1201 [7, permission 00]
//   whose value 1 adds RED.DLY/GRN.DLY/LIGHTS 1202-1204; FILTER, MOTION 1206 [4], Z.RANGE 1207 [2],
//   Z.TRACK 1208 [12], AUTO.Z, DSP.TST 1210 [11], FACT.DEF 1211 [15], DIAG 1212 [unknown 20]),
//   SERIAL 1300 (SER1 1310, SER2 1320, NETWORK 1330: IP.ADDR 1331 [18], PORT 1334 [5], NAME 1336 [6]),
//   SETPTS 1400 (SETP1..4 1410-1440, TARGET 1412 shown while TYPE 1411 is 1 or 2), PRINT 1500 (strings
//   1501-1503, TICKET 1506 [5]), CLOCK 1600, PRODUCTS B100, SPECIAL 1700 (full level only, permission
//   82/83). 86 items. Operator menus under 0x001F: SETPOINT 1F10, PRINT 1F20, ID 1F30.
//   Items answer with permission 80 (bit 7: change leaves the menu as it is) unless the model says else.
//   Changing UNITS 0030 or DP 0031 changes every weight literal (FULLSCAL 002F's included).
// - products: B100 key 0 lists B100/0001 (CURRENT: ACTIVE B010) and B100/0002.. (APPLES, PEARS,
//   PLUMS; each with TARGET B020, PRE.TARE B021). Listing a product's menu, or naming its entry
//   (0x15 on B100 with its key, as the program does when the node is selected), selects it.
//   0xB001 add, 0xB012 rename, 0xB002 clear totals, 0xB011 delete the current one, 0xB005 delete
//   all (one "PRODUCT 1" stays), 0xB010 selects (1-based), 0xB013 name, limit 12 characters.
// - weight: 12.50 kg at rest (DP 2); register 9 lights the shared segment table (display/VornTables):
//   weight in the large characters, product name in the medium row, units, zero, net/gross and
//   motion symbols. Keys on register 8: 0x0B zero (+0x80: clear zero), 0x0C tare (+0x80: clear tare),
//   0x0D gross/net, 0x0E print (adds a record). 0x0025 formatted: "   12.50 kg G".
// - logging: writing "01060210" to 0x004F streams LogBurstSamples (40) samples at 25 per second as
//   read replies of register 0x0026, then answers the write. The stream has its own clock: sample n
//   (counted over the instrument's life) has the time stamp LogFirstStamp + n (0.04 s units, no gaps
//   between bursts) and the weight and status bits of the moment n x 40 ms: the level, the --steps
//   pattern (the load moves between level and level + COUNTS every MS, ramping with the motion bit
//   set over the first 400 ms of each step), --noise drawn from the seed per sample, IO3 set (status word B
//   00000004) and IO1 toggling every 25 samples. Net, tare and zero follow the front-panel keys.
// - calibration: 0x0102 zero, 0x0103 span (weight in 0x0100), 0x0104/0x0105 linearisation point
//   (decimal index), 0x0106/0x0107 direct mV/V; steps show 0x2000 in 0x0021 for CalibrationStepMs,
//   then the result code (6 when the weight moves, or CalibrationResult / FailNextCalibration);
//   with CalibrationResultEarly the code shows beside 0x2000 while the step runs. Figures at start:
//   zero 0.1000 mV/V (0x0111 = 1000), span 2.0000 mV/V (0x0113) for 3000.00 kg (0x0112 = 300000),
//   the cell giving 0.1000 mV/V unloaded plus 2.0000 mV/V at 3000.00 kg; a zero step takes the
//   present signal, a span step needs 0.0100 mV/V above zero (else code 8); a point is set as the
//   weight's percent of full scale (1..100, code 10 within 2% of another) and read back by
//   executing 0x0115 with its index.
// - records: Records (1000) from FirstRecord (1), seeded; 0x8294 oldest (sets the read position),
//   0x8295 newest, 0x8291 by number, 0x8292 next; "no such record" is refused with 0x4000.
// - clock 0x0150 "dd/MM/yyyy HH:mm:ss", parts 0x0152..0x0156; allocation report 0x0052 (4 groups:
//   two continuation pairs, F6 "-", one without F2); factory test 0x0068 (122 characters);
//   string test 0x004D echoes the text (\XX escapes decoded) followed by CR LF.
#pragma once

#include "instrument.h"
#include "simconfig.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>

class TSimLink;

class TVornSim : public QObject
{
    Q_OBJECT
public:
    explicit TVornSim(const TVornSimConfig &config, QObject *parent = nullptr);
    ~TVornSim() override;

    // Loads the model and opens the configured transports; false with a reason otherwise.
    bool Start(QString *error = nullptr);
    void Stop();

    int Port() const;
    // The pty's slave device, or the link to it when one was asked for.
    QString PtyPath() const;
    // What the program prints when it is ready: "listening on 127.0.0.1:PORT" / "pty PATH".
    QStringList ReadyLines() const;
    TVornInstrument &Instrument() { return *Device; }
    int Connections() const;
    // Line speed the pty runs at (follows the link-control message).
    int PtyBaud() const;

    // Traffic over all links, for benchmarks: characters received and sent, requests handled.
    int64_t BytesReceived = 0;
    int64_t BytesSent = 0;
    int64_t RequestsHandled = 0;
    // On a paced line: how much later than their ideal moments requests were handled and replies
    // finished going out (the event loop's timers have a resolution of a millisecond).
    int64_t PacingLateNs = 0;

    // Diagnostics (-v): every request and reply.
    std::function<void(const QString &)> OnLog;

    // Used by the links.
    const TVornSimConfig &Config() const { return Cfg; }
    // Changes the link faults while running (drop .. disconnect-after of `faults`; the rest stays).
    void SetFaults(const TVornSimConfig &faults);
    // Whether a fault happens now: a rate below 1 is a probability, N >= 1 means every Nth time.
    bool Chance(const double &rate);
    uint32_t RandomNumber() { return static_cast<uint32_t>(Random()); }
    // Whether the reply to a request on this register is to be dropped (DropOnRegister).
    bool DropOn(int reg);
    void Log(const QString &text);

private:
    bool StartPty(QString *error);
    TVornSimConfig Cfg;
    std::unique_ptr<TVornInstrument> Device;
    std::unique_ptr<QTcpServer> Server;
    TSimLink *PtyLink = nullptr;
    int PtySlave = -1;
    QString PtyName;
    std::mt19937 Random;
    QHash<const double *, int> FaultCounts;
    int DroppedOn = 0;
};
