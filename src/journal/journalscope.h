// One change recorded by the operation that asks for it, with what the engine cannot know (the
// value before, the value read back, a menu path, figures): the intent goes to the journal before
// the request, the outcome after; the engine records none of the requests meanwhile.
#pragma once

#include "link/changerecorder.h"

class TTransactionEngine;

class TJournalScope
{
public:
    // Writes the intent when the engine has a journal.
    TJournalScope(TTransactionEngine *engine, const TChangeEvent &event);
    ~TJournalScope();
    TJournalScope(const TJournalScope &) = delete;
    TJournalScope &operator=(const TJournalScope &) = delete;
    // The change may go out: its intent is on disk, or no journal is kept. When false, nothing is
    // to be sent (Error says why).
    bool Allowed() const { return Ok; }
    QString Error() const { return Why; }
    // The outcome; a scope left without one records "not confirmed".
    void Finish(const TChangeResult &result);

private:
    TTransactionEngine *Engine;
    int64_t Intent = 0;
    bool Ok = true;
    bool Finished = false;
    bool Covered = false;
    QString Why;
};
