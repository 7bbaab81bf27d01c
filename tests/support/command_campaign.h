// The command campaign: every request that acts (keys, calibration starts, product functions,
// save, the next record) with its reply lost or late, and every read that goes row by row with
// its replies late, each against the simulated instrument's truth. Shared by bench_faults.
#pragma once

#include "fault_campaign.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>

// What the instrument holds that a command changes, and the requests it received.
struct TSimState {
    uint32_t Newest = 0, Position = 0;
    int64_t CalCount = 0;
    int32_t CalZero = 0, CalSpan = 0;
    std::array<int32_t, 10> Lin{};
    QList<QByteArray> Products;
    int Saves = 0, TransfersEnded = 0;
    bool Net = false;
    QList<QByteArray> Received; // request texts, in order
    int ReceivedCount(const QByteArray &prefix) const;
};

// What the program did in one run of a row.
struct TRowRun {
    bool Done = false;      // it said done (exit 0; the operation confirmed)
    bool Said = false;      // it said what was not done (stderr, a message)
    QList<QByteArray> Rows; // what it showed or wrote, row by row
    // Set by actions that judge their rows against the instrument themselves (the store).
    std::optional<int> WrongRows;
    std::optional<bool> Right;
    QString Note;
};

struct TCommandRow {
    QString Name;                                     // "PRINT key"
    QString Fault;                                    // vornsim's option: "--drop-on 0008"
    std::function<void(TVornSimConfig &)> Instrument; // the instrument (the same without the fault)
    std::function<void(TVornSimConfig &)> Apply;      // the fault
    std::function<void(TVornInstrument &)> Prepare;   // state set once it runs
    QStringList Cli;                                  // brellin-cli arguments after the connection
    double CliTimeout = 0.3;
    std::function<TRowRun(TCampaignRig &)> InProcess; // when there are no Cli arguments
    // A command: how often the instrument acted. Empty for a read, whose rows are compared with
    // the same run without the fault.
    std::function<int(const TSimState &before, const TSimState &after)> Effects;
    // A command that also shows rows (the next record): what the instrument's truth gives.
    std::function<QList<QByteArray>(const TSimState &before, TVornInstrument &)> Expected;
};

// What one row counted, against the instrument's truth.
struct TRowCounts {
    QString Row, Fault;
    int Runs = 0, Done = 0, Reported = 0, Silent = 0;
    int Effects = 0;        // times the instrument acted (commands)
    int Duplicated = 0;     // effects beyond the one asked for
    int WrongRows = 0;      // rows shown or stored that do not answer their own request
    int FalseSuccesses = 0; // done said while the instrument did not change, or rows were wrong
    QString Detail;
    double Seconds = 0;
    QString ToLine() const;
    static TRowCounts FromLine(const QString &line);
};

// The rows, for a brellin-cli time-out of the rows' own and the rig's reply time-out.
QList<TCommandRow> CommandCampaignRows(const TCampaignPlan &plan);
TRowCounts RunCommandRow(const TCommandRow &row, const TCampaignPlan &plan);
