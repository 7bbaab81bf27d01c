// How the core tells the user things: the program answers with message boxes and the wait
// cursor, the command line with stderr, tests with recorders.
#pragma once

#include <QString>

class TReporter
{
public:
    virtual ~TReporter() = default;
    virtual void Error(const QString &text) = 0;
    virtual void Info(const QString &text) = 0;
    // A failure told in a plain box without an icon (the program); elsewhere an error like any.
    virtual void Message(const QString &text) { Error(text); }
    // The instrument stopped answering. The program shows it without stopping what runs (an
    // upload, a recording goes on and reports its own outcome), and one box at a time; elsewhere
    // an error like any.
    virtual void NotResponding(const QString &text) { Error(text); }
    // A yes/no question; true for yes.
    virtual bool Ask(const QString &text) = 0;
    // False when nobody sees the questions (no screen): Ask then gives a fixed answer that no user
    // chose, so nothing may be deleted on it.
    virtual bool Attended() const { return true; }
    // The busy indication (hourglass) around an instrument query; nested calls are counted.
    virtual void BeginBusy() {}
    virtual void EndBusy() {}
};

// Shows the busy indication for its lifetime and restores it on every way out.
class TBusyGuard
{
public:
    explicit TBusyGuard(TReporter *reporter) : Reporter(reporter)
    {
        if (Reporter)
            Reporter->BeginBusy();
    }
    ~TBusyGuard()
    {
        if (Reporter)
            Reporter->EndBusy();
    }
    TBusyGuard(const TBusyGuard &) = delete;
    TBusyGuard &operator=(const TBusyGuard &) = delete;

private:
    TReporter *Reporter;
};

// Writes errors and information to stderr and answers every question with a fixed answer.
class TStderrReporter : public TReporter
{
public:
    explicit TStderrReporter(bool answer = false) : Answer(answer) {}
    void Error(const QString &text) override;
    void Info(const QString &text) override;
    bool Ask(const QString &text) override;
    bool Attended() const override { return false; }
    bool Answer;
};
