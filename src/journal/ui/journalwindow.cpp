// The change journal window (see journalwindow.h).
#include "journal/ui/journalwindow.h"

#include "base/ui/textprinter.h"
#include "base/wholefile.h"
#include "i18n/LumsLang.h"
#include "link/reporter.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace
{
// Column headings: key in the language file and English text.
const char *const Columns[][2] = {{"ColTime", "Time"},
                                  {"ColKind", "Kind"},
                                  {"ColRegister", "Register"},
                                  {"ColPath", "Menu path"},
                                  {"ColBefore", "Before"},
                                  {"ColAsked", "Asked"},
                                  {"ColReadBack", "Read back"},
                                  {"ColOutcome", "Outcome"},
                                  {"ColNote", "Note"},
                                  {"ColUser", "User and host"},
                                  {"ColProgram", "Program and action"}};
// The window's texts in the program's language.
QString Text(const char *name, const char *english)
{
    return LangText("TJournalWindow", name, QString::fromUtf8(english));
}
// The kinds as the journal writes them, with their names' keys in the language file.
const char *const KindNames[][2] = {{"write", "KindWrite"},       {"send", "KindSend"},
                                    {"key", "KindKey"},           {"command", "KindCommand"},
                                    {"raw", "KindRaw"},           {"session", "KindSession"},
                                    {"snapshot", "KindSnapshot"}, {"calibration", "KindCalibration"},
                                    {"product", "KindProduct"},   {"clock", "KindClock"}};
} // namespace

TJournalWindow::TJournalWindow(const QString &storeDir, const QString &serial, TReporter *reporter,
                               QWidget *parent)
    : QDialog(parent), StoreDir(storeDir), Reporter(reporter)
{
    setWindowTitle(Text("Title", "Change Journal"));
    setObjectName("JournalWindow");
    auto *layout = new QVBoxLayout(this);
    auto *filters = new QHBoxLayout;
    Serials = new QComboBox(this);
    Serials->setObjectName("JournalSerials");
    Serials->addItems(JournalSerials(storeDir));
    if (const int at = Serials->findText(serial); at >= 0)
        Serials->setCurrentIndex(at);
    Serials->setToolTip(Text("SerialsTip", "The instrument (by serial number) whose journal is shown"));
    From = new QDateEdit(this);
    To = new QDateEdit(this);
    for (QDateEdit *edit : {From, To}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    }
    From->setObjectName("JournalFrom");
    To->setObjectName("JournalTo");
    Kinds = new QComboBox(this);
    Kinds->setObjectName("JournalKinds");
    // The kinds are the journal's own words (as in its file and its CSV); the item data is the filter.
    Kinds->addItem(Text("AllKinds", "All kinds"), QByteArray());
    for (const auto &kind : KindNames)
        Kinds->addItem(Text(kind[1], kind[0]), QByteArray(kind[0]));
    filters->addWidget(new QLabel(Text("InstrumentLabel", "Instrument:"), this));
    filters->addWidget(Serials);
    filters->addSpacing(12);
    filters->addWidget(new QLabel(Text("FromLabel", "From:"), this));
    filters->addWidget(From);
    filters->addWidget(new QLabel(Text("ToLabel", "To:"), this));
    filters->addWidget(To);
    filters->addSpacing(12);
    filters->addWidget(new QLabel(Text("KindLabel", "Kind:"), this));
    filters->addWidget(Kinds);
    filters->addStretch(1);
    layout->addLayout(filters);

    Table = new QTableWidget(this);
    Table->setObjectName("JournalTable");
    Table->setColumnCount(static_cast<int>(std::size(Columns)));
    QStringList headers;
    for (const auto &c : Columns)
        headers << Text(c[0], c[1]);
    Table->setHorizontalHeaderLabels(headers);
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->verticalHeader()->hide();
    Table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(Table, 1);

    Status = new QLabel(this);
    Status->setObjectName("JournalStatus");
    Status->setWordWrap(true);
    layout->addWidget(Status);
    auto *help = new QLabel(Text("ChainHelp", JournalChainHelp), this);
    help->setWordWrap(true);
    help->setObjectName("JournalHelp");
    QFont small = help->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    help->setFont(small);
    layout->addWidget(help);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(Text("Close", "Close"));
    QPushButton *exportButton =
        buttons->addButton(Text("Export", "Export CSV..."), QDialogButtonBox::ActionRole);
    exportButton->setObjectName("JournalExport");
    QPushButton *printButton = buttons->addButton(Text("Print", "Print..."), QDialogButtonBox::ActionRole);
    printButton->setObjectName("JournalPrint");
    connect(exportButton, &QPushButton::clicked, this, &TJournalWindow::AskExport);
    connect(printButton, &QPushButton::clicked, this, &TJournalWindow::AskPrint);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(Serials, &QComboBox::currentIndexChanged, this, &TJournalWindow::Reload);
    connect(From, &QDateEdit::dateChanged, this, &TJournalWindow::Show);
    connect(To, &QDateEdit::dateChanged, this, &TJournalWindow::Show);
    connect(Kinds, &QComboBox::currentIndexChanged, this, &TJournalWindow::Show);
    resize(1100, 560);
    Reload();
}

void TJournalWindow::Reload()
{
    AllEvents.clear();
    VerdictText.clear();
    const QString serial = Serials->currentText();
    if (serial.isEmpty()) {
        VerdictText = Text("NoJournal", "No change journal in %1 yet.").arg(StoreDir);
    } else {
        const QString path = TChangeJournal::FolderFor(StoreDir, serial.toLatin1()) + QLatin1Char('/') +
                             QLatin1String(JournalFileName);
        QList<TJournalLine> lines;
        QString error;
        if (!ReadJournalFile(path, lines, &error)) {
            VerdictText = Text("Unreadable", "The journal could not be read: %1").arg(error);
        } else {
            AllEvents = JournalEvents(lines);
            const TJournalVerdict verdict = VerifyJournal(path, &error);
            VerdictText =
                verdict.Intact()
                    ? Text("ChainHolds", "%1: the chain holds (%2 lines).").arg(path).arg(verdict.Lines)
                    : Text("ChainBroken", "%1: EVIDENCE OF CHANGE: %2")
                          .arg(path, verdict.Problems.join("; "));
        }
    }
    // The date filter spans the journal when it is first shown.
    const QSignalBlocker blockFrom(From), blockTo(To);
    QDate first = QDate::currentDate(), last = QDate::currentDate();
    for (const TJournalEvent &e : AllEvents) {
        const QDate day = e.Line.When().date();
        if (day.isValid()) {
            first = std::min(first, day);
            last = std::max(last, day);
        }
    }
    From->setDate(first);
    To->setDate(last);
    Show();
}

void TJournalWindow::Show()
{
    const QByteArray kind = Kinds->currentData().toByteArray();
    QList<TJournalEvent> kept =
        FilterJournalEvents(AllEvents, QDateTime(From->date(), QTime(0, 0)),
                            QDateTime(To->date().addDays(1), QTime(0, 0)).addMSecs(-1), kind);
    std::reverse(kept.begin(), kept.end());
    ShownEvents = kept;
    Table->setRowCount(static_cast<int>(kept.size()));
    for (int row = 0; row < kept.size(); ++row) {
        const TJournalEvent &e = kept.at(row);
        const TJournalLine &l = e.Line;
        const QString cells[] = {l.When().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss t")),
                                 QString::fromLatin1(l.Kind),
                                 e.RegisterText(),
                                 QString::fromLatin1(l.Path),
                                 QString::fromLatin1(l.Before),
                                 QString::fromLatin1(l.Asked),
                                 QString::fromLatin1(l.ReadBack),
                                 e.Outcome,
                                 l.Note,
                                 l.UserHost,
                                 l.Program +
                                     (l.Action.isEmpty() ? QString() : QStringLiteral(": ") + l.Action)};
        for (int column = 0; column < static_cast<int>(std::size(cells)); ++column) {
            auto *item = new QTableWidgetItem(cells[column]);
            item->setToolTip(cells[column]);
            if (column == 7 && !e.Outcome.startsWith(QLatin1String("confirmed")) && l.Kind != "session" &&
                l.Kind != "snapshot")
                item->setForeground(e.Outcome.startsWith(QLatin1String("refused")) ? Qt::darkRed
                                                                                   : QColor(160, 90, 0));
            Table->setItem(row, column, item);
        }
    }
    Table->resizeColumnsToContents();
    // A long value (the calibration block) keeps its column readable: the whole text is its tooltip.
    for (int column = 0; column < Table->columnCount() - 1; ++column)
        Table->setColumnWidth(column, std::min(Table->columnWidth(column), 220));
    Status->setText(Text("Shown", "%1 of %2 events shown, newest first. %3")
                        .arg(kept.size())
                        .arg(AllEvents.size())
                        .arg(VerdictText));
}

bool TJournalWindow::ExportCsv(const QString &path, QString *error) const
{
    return WriteWholeFile(path, JournalCsv(ShownEvents), error);
}

void TJournalWindow::AskExport()
{
    const QString path = QFileDialog::getSaveFileName(
        this, Text("ExportCaption", "Export the journal"),
        QStringLiteral("journal-%1.csv").arg(Serials->currentText()), Text("CsvFiles", "CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!ExportCsv(path, &error) && Reporter)
        Reporter->Error(error);
}

void TJournalWindow::PrintTo(QPrinter &printer) const
{
    QPainter painter(&printer);
    if (!painter.isActive())
        return;
    TTextPrinter out(printer, painter, QFontDatabase::systemFont(QFontDatabase::FixedFont));
    out.Line(Text("PrintTitle", "Change journal of instrument %1").arg(Serials->currentText()));
    out.Line(VerdictText);
    out.Line(QString());
    for (const TJournalEvent &e : ShownEvents)
        out.Line(QString::fromUtf8(JournalEventText(e)));
}

void TJournalWindow::AskPrint()
{
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted)
        PrintTo(printer);
}
