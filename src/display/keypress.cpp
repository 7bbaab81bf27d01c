// Front-panel keys sent once, with the newest record as the witness of PRINT.
#include "keypress.h"

#include "display/VornTables.h"
#include "i18n/LumsLang.h"
#include "journal/journalscope.h"
#include "link/comms.h"
#include "link/transact.h"

#include <optional>

namespace
{

constexpr int NewestRecordRegister = 0x8295;

// The newest record's number: 0 when the store is empty, nothing when it cannot be read.
std::optional<uint32_t> NewestRecord(TTransactionEngine &engine)
{
    if (engine.TransactAs(TRequestKind::Read, CmdExecute, NewestRecordRegister, {}, false, true)) {
        bool ok = false;
        const uint32_t n = engine.LastReply.Data.split(',').value(0).trimmed().toUInt(&ok);
        return ok ? std::optional<uint32_t>(n) : std::nullopt;
    }
    // "No such record": an empty store.
    if (!engine.LastWaitTimedOut() && engine.LastReply.HasStatus(StatusUnknownError))
        return 0u;
    return std::nullopt;
}

} // namespace

QString KeyName(int code)
{
    const int key = VornKeyOfCode(code);
    if (key < 0)
        return QStringLiteral("key 0x%1").arg(code, 2, 16, QLatin1Char('0'));
    return QString::fromLatin1(VornKeys()[size_t(key)].Legend);
}

TKeyResult PressKey(TTransactionEngine &engine, int code)
{
    const bool print = (code & 0x7F) == VornKeyPrint;
    const std::optional<uint32_t> before = print ? NewestRecord(engine) : std::nullopt;
    TKeyResult result;
    for (int send = 0; send < 2; ++send) {
        if (engine.TransactAs(TRequestKind::Command, CmdWrite, VornKeyRegister, VornKeyData(code), false,
                              true)) {
            result.Outcome = TKeyOutcome::Confirmed;
            return result;
        }
        if (!engine.LinkOpen()) {
            result.Outcome = TKeyOutcome::LinkLost;
            result.Message =
                LangText(
                    "Messages", "KeyLost",
                    "The link was lost while the %1 key was sent: look at the instrument's display before "
                    "pressing it again.")
                    .arg(KeyName(code));
            return result;
        }
        if (!engine.LastWaitTimedOut()) {
            result.Outcome = TKeyOutcome::Refused;
            result.Message =
                LangText("Messages", "KeyRefused", "The instrument refused the %1 key: %2")
                    .arg(KeyName(code), QString::fromLatin1(engine.LastReply.ErrorText()).trimmed());
            return result;
        }
        if (!before)
            break;
        const std::optional<uint32_t> after = NewestRecord(engine);
        if (!after)
            break;
        if (*after > *before) { // the record the press made
            result.Outcome = TKeyOutcome::Confirmed;
            return result;
        }
        // No new record: the press did not arrive, and one more is what the user asked for.
    }
    result.Outcome = TKeyOutcome::NotConfirmed;
    result.Message =
        LangText(
            "Messages", "KeyUnconfirmed",
            "The %1 key was not confirmed by the instrument: look at its display before pressing it again.")
            .arg(KeyName(code));
    return result;
}

TKeyResult PressKeyJournalled(TTransactionEngine &engine, int code, QString &journalError)
{
    journalError.clear();
    TChangeEvent event;
    event.Kind = "key";
    event.Command = CmdWrite;
    event.Register = VornKeyRegister;
    event.Asked = VornKeyData(code);
    event.Note = KeyName(code);
    TJournalScope journal(&engine, event);
    if (!journal.Allowed()) {
        journalError = journal.Error();
        TKeyResult refused;
        refused.Outcome = TKeyOutcome::NotConfirmed;
        refused.Message = LangText("Messages", "KeyNotJournalled",
                                   "The change journal could not be written (%1): the %2 key was not sent.")
                              .arg(journalError, KeyName(code));
        return refused;
    }
    const TKeyResult result = PressKey(engine, code);
    TChangeResult recorded;
    recorded.Outcome = result.Outcome == TKeyOutcome::Confirmed ? TChangeOutcome::Confirmed
                       : result.Outcome == TKeyOutcome::Refused ? TChangeOutcome::Refused
                                                                : TChangeOutcome::NotConfirmed;
    recorded.Text = result.Message;
    journal.Finish(recorded);
    return result;
}
