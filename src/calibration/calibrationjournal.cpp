// The change journal's line for each calibration step: the figures before and read back, the
// calibration counter around it, and the save's outcome.
#include "calibration.h"
#include "calregisters.h"

#include "journal/journalscope.h"
#include "link/comms.h"
#include "link/reporter.h"
#include "link/transact.h"
#include "settings/device.h"
#include "values/tools.h"

namespace
{

std::optional<uint32_t> ReadCounter(TTransactionEngine *engine)
{
    if (!engine->LinkOpen() || !engine->Transact(CmdRead, TCalibration::CounterRegister, {}, true, false))
        return std::nullopt;
    return HexToInt(engine->LastReply.Data);
}

QString CounterText(const std::optional<uint32_t> &count)
{
    return count ? QString::number(*count) : QStringLiteral("not read");
}

QString StepName(int reg, int point)
{
    switch (reg) {
    case RegZero:
        return QStringLiteral("zero");
    case RegSpan:
        return QStringLiteral("span");
    case RegDirectZero:
        return QStringLiteral("direct zero");
    case RegDirectSpan:
        return QStringLiteral("direct span");
    case RegSetPoint:
        return QStringLiteral("linearisation point %1 set").arg(point + 1);
    default:
        return QStringLiteral("linearisation point %1 cleared").arg(point + 1);
    }
}

// A refusal's text without the program's prefix ("Error :- Register 0102: ").
QString InstrumentText(const QString &message)
{
    static const QString prefix = QStringLiteral("Error :- Register ");
    if (!message.startsWith(prefix))
        return message;
    const qsizetype colon = message.indexOf(QStringLiteral(": "), prefix.size());
    return colon < 0 ? message : message.mid(colon + 2);
}

} // namespace

QByteArray TCalibration::FiguresText(int point) const
{
    QByteArray text = "zero " + Device->CalZeroText() + (Device->CalZeroKnown ? " mV/V" : "") +
                      ", fullscale " + Device->CalSpanText() + (Device->CalSpanKnown ? " mV/V" : "");
    if (point >= 0 && point < 10) {
        // "3: 50%", "3:" for a point not set, "3: (not read)"
        QByteArray line = Device->LinearisationList().value(point).trimmed();
        if (line.endsWith(':'))
            line += " not set";
        text += ", linearisation point " + line;
    }
    return text;
}

bool TCalibration::JournalIntent(std::optional<TJournalScope> &journal, int reg, const QByteArray &asked,
                                 const QString &what, int point, TCalOutcome &refused)
{
    if (!Engine->Changes)
        return true;
    const std::optional<uint32_t> before = ReadCounter(Engine);
    TChangeEvent event;
    event.Kind = "calibration";
    event.Command = CmdExecute;
    event.Register = reg;
    event.Before = FiguresText(point);
    event.Asked = asked;
    QStringList notes{StepName(reg, point)};
    if (!what.isEmpty())
        notes << what;
    notes << QStringLiteral("calibration counter before: %1").arg(CounterText(before));
    event.Note = notes.join(QStringLiteral("; "));
    journal.emplace(Engine, event);
    if (journal->Allowed())
        return true;
    refused.End = TCalEnd::NotStarted;
    refused.Message = QStringLiteral("The change journal could not be written (%1): no calibration step was "
                                     "started.")
                          .arg(journal->Error());
    if (Reporter)
        Reporter->Error(refused.Message);
    return false;
}

TCalOutcome TCalibration::Journalled(std::optional<TJournalScope> &journal, const TCalOutcome &out, int point)
{
    if (!journal)
        return out;
    const std::optional<uint32_t> after = out.End != TCalEnd::LinkLost ? ReadCounter(Engine) : std::nullopt;
    TChangeResult result;
    if (out.ReadBack)
        result.ReadBack = FiguresText(point);
    QStringList notes{QStringLiteral("calibration counter after: %1").arg(CounterText(after))};
    if (out.Sent && out.End != TCalEnd::LinkLost)
        notes << (out.Saved ? QStringLiteral("settings saved")
                            : QStringLiteral("the instrument did not confirm saving its settings"));
    if (out.Confirmed()) {
        result.Outcome = TChangeOutcome::Confirmed;
    } else if (out.End == TCalEnd::Refused || out.End == TCalEnd::ResultCode) {
        result.Outcome = TChangeOutcome::Refused;
        result.Text = InstrumentText(out.Message);
    } else {
        result.Text = !out.Message.isEmpty()     ? out.Message
                      : !out.Sent                ? QStringLiteral("no calibration step was started")
                      : out.End != TCalEnd::Done ? QStringLiteral("the instrument did not confirm the step")
                      : out.Saved                ? QStringLiteral("the figures could not be read back")
                                  : QStringLiteral("the instrument did not confirm saving its settings");
    }
    result.Note = notes.join(QStringLiteral("; "));
    journal->Finish(result);
    return out;
}
