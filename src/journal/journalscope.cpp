// The journal scope of one change asked for by an operation.
#include "journalscope.h"

#include "link/transact.h"

TJournalScope::TJournalScope(TTransactionEngine *engine, const TChangeEvent &event) : Engine(engine)
{
    if (!Engine || !Engine->Changes)
        return;
    Intent = Engine->Changes->Intent(event);
    Ok = Intent != 0;
    if (!Ok)
        Why = Engine->Changes->LastError();
    ++Engine->ChangeCover;
    Covered = true;
}

TJournalScope::~TJournalScope()
{
    if (!Covered)
        return;
    --Engine->ChangeCover;
    if (!Finished && Intent != 0 && Engine->Changes) {
        TChangeResult result;
        result.Text = QStringLiteral("the operation ended before its outcome was known");
        Engine->Changes->Outcome(Intent, result);
    }
}

void TJournalScope::Finish(const TChangeResult &result)
{
    if (Finished || !Engine || !Engine->Changes || Intent == 0)
        return;
    Finished = true;
    Engine->Changes->Outcome(Intent, result);
}
