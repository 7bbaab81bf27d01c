// Everything vornsim can be told at start: where it listens, which instrument it is, and
// which faults it shows. The command line fills it; tests and the demo fill it directly.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

struct TVornSimConfig {
    // --- where it listens ------------------------------------------------------------------
    QString TcpHost = QStringLiteral("127.0.0.1");
    int TcpPort = -1; // -1: no TCP; 0: any free port
    bool UsePty = false;
    QString PtyLink; // symlink made to the pty's slave side (optional)

    // --- the instrument ----------------------------------------------------------------------
    QString ModelFile;         // JSON menu description; empty: the built-in one
    QByteArray ModelJson;      // used instead of ModelFile when not empty
    int64_t SerialNumber = -1; // -1: the model's
    int Address = 1;           // unit address; requests to 0 reach it too
    uint32_t Records = 1000;
    uint32_t FirstRecord = 1;
    uint32_t Seed = 1;
    int64_t SafePasscode = -1; // -1: the model's; 0: level always open
    int64_t FullPasscode = -1;
    int SessionTimeoutSec = 30;
    bool LapseLocksLevels = false; // a lapsed session also locks the levels that have a passcode
    int CalibrationStepMs = 1500;  // how long a calibration step stays in progress
    int CalibrationResult = 0;     // result code every step ends with (0: decided by the weight)
    int LogBurstSamples = 40;      // samples streamed per logging request (25 per second)
    uint32_t LogFirstStamp = 0;    // time stamp of the first logging sample
    int NewRecordEveryMs = 0;      // a new record appears this often (0: never)
    double WeightLevel = 1250;     // load in counts of the last displayed digit
    double WeightNoise = 0;        // peak noise in counts
    int WeightStepEveryMs = 0;     // when > 0 the load steps by WeightStepSize this often
    double WeightStepSize = 0;
    // A calibration step's status shows CalibrationResult beside the in-progress bit while it runs.
    bool CalibrationResultEarly = false;
    // Reports: "table" (the model's allocation table) or "empty" (group 0 item 0 empty).
    QString AllocationCase = QStringLiteral("table");
    // The factory test record: "pass", "outside" (errors past the trade limits), "none" (no points,
    // tested on the 5th), "same-temp" (both runs at one temperature), "short" (121 characters),
    // "long" (123), "format" (format byte 2), "refused" (the read is refused).
    QString FactoryCase = QStringLiteral("pass");

    // --- faults on demand: below 1 a probability (drawn from a generator seeded with Seed); a
    // whole number N >= 1 makes the fault happen every Nth time (1: always) ---------------------
    double DropReply = 0;      // answer nothing
    double CorruptCrc = 0;     // a wrong CRC on the frame
    double LowerCaseCrc = 0;   // the right CRC in lower-case digits
    double Garbage = 0;        // noise characters before the frame
    double WrongRegister = 0;  // the reply names another register
    double DuplicateReply = 0; // the reply twice
    double OversizedFrame = 0; // a frame longer than any reply instead of the reply
    int DelayMs = 0;           // every reply this late
    int DisconnectAfter = 0;   // drop a TCP client after this many requests (0: never)
    int DropOnRegister = -1;   // answer nothing to requests on this register (after they took effect)
    int DropOnTimes = 1;       // ... the first this many times
    int DelayOnRegister = -1;  // answer requests on this register late (the line waits behind it)
    int DelayOnMs = 0;
    bool RefuseAll = false; // every request refused with Unknown Error
    // Hostile instruments: every menu lists this many submenus instead of its items (an endless tree);
    // the store grows a record whenever the one after the newest is asked for; record LongRecord
    // is sent LongRecordLength characters long.
    int MenuFanout = 0;
    bool EndlessStore = false;
    uint32_t LongRecord = 0;
    int LongRecordLength = 0;

    // --- the line's timing (only with Baud > 0; else bytes go as fast as the transport takes them) --
    int Baud = 0;          // characters go out and count as arriving at this rate (the speed switch follows)
    int FrameBits = 10;    // bits per character: 10 for 8N1, 11 with parity or a second stop bit
    int TurnaroundMs = -1; // the instrument's own reply latency; -1: 2 ms when paced, else none

    bool Verbose = false; // log requests and replies to stderr
};
