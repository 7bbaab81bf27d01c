// The change journal window (see journalwindow.h).
#include "journal/ui/journalwindow.h"

#include "base/ui/textprinter.h"
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
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>

namespace
{
const char *const Columns[] = {"Time",   "Kind",          "Register",          "Menu path",
                               "Before", "Asked",         "Read back",         "Outcome",
                               "Note",   "User and host", "Program and action"};
const char *const KindNames[] = {"write", "send", "key", "command", "raw", "session", "snapshot"};
} // namespace

TJournalWindow::TJournalWindow(const QString &storeDir, const QString &serial, TReporter *reporter,
                               QWidget *parent)
    : QDialog(parent), StoreDir(storeDir), Reporter(reporter)
{
    setWindowTitle(QStringLiteral("Change Journal"));
    setObjectName("JournalWindow");
    auto *layout = new QVBoxLayout(this);
    auto *filters = new QHBoxLayout;
    Serials = new QComboBox(this);
    Serials->setObjectName("JournalSerials");
    Serials->addItems(JournalSerials(storeDir));
    if (const int at = Serials->findText(serial); at >= 0)
        Serials->setCurrentIndex(at);
    Serials->setToolTip(QStringLiteral("The instrument (by serial number) whose journal is shown"));
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
    Kinds->addItem(QStringLiteral("All kinds"));
    for (const char *kind : KindNames)
        Kinds->addItem(QString::fromLatin1(kind));
    filters->addWidget(new QLabel(QStringLiteral("Instrument:"), this));
    filters->addWidget(Serials);
    filters->addSpacing(12);
    filters->addWidget(new QLabel(QStringLiteral("From:"), this));
    filters->addWidget(From);
    filters->addWidget(new QLabel(QStringLiteral("To:"), this));
    filters->addWidget(To);
    filters->addSpacing(12);
    filters->addWidget(new QLabel(QStringLiteral("Kind:"), this));
    filters->addWidget(Kinds);
    filters->addStretch(1);
    layout->addLayout(filters);

    Table = new QTableWidget(this);
    Table->setObjectName("JournalTable");
    Table->setColumnCount(static_cast<int>(std::size(Columns)));
    QStringList headers;
    for (const char *c : Columns)
        headers << QString::fromLatin1(c);
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
    auto *help = new QLabel(QString::fromLatin1(JournalChainHelp), this);
    help->setWordWrap(true);
    help->setObjectName("JournalHelp");
    QFont small = help->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    help->setFont(small);
    layout->addWidget(help);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton *exportButton =
        buttons->addButton(QStringLiteral("Export CSV..."), QDialogButtonBox::ActionRole);
    exportButton->setObjectName("JournalExport");
    QPushButton *printButton = buttons->addButton(QStringLiteral("Print..."), QDialogButtonBox::ActionRole);
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
        VerdictText = QStringLiteral("No change journal in %1 yet.").arg(StoreDir);
    } else {
        const QString path = TChangeJournal::FolderFor(StoreDir, serial.toLatin1()) + QLatin1Char('/') +
                             QLatin1String(JournalFileName);
        QList<TJournalLine> lines;
        QString error;
        if (!ReadJournalFile(path, lines, &error)) {
            VerdictText = QStringLiteral("The journal could not be read: %1").arg(error);
        } else {
            AllEvents = JournalEvents(lines);
            const TJournalVerdict verdict = VerifyJournal(path, &error);
            VerdictText =
                verdict.Intact()
                    ? QStringLiteral("%1: the chain holds (%2 lines).").arg(path).arg(verdict.Lines)
                    : QStringLiteral("%1: EVIDENCE OF CHANGE: %2").arg(path, verdict.Problems.join("; "));
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
    const QByteArray kind = Kinds->currentIndex() > 0 ? Kinds->currentText().toLatin1() : QByteArray();
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
    Status->setText(QStringLiteral("%1 of %2 events shown, newest first. %3")
                        .arg(kept.size())
                        .arg(AllEvents.size())
                        .arg(VerdictText));
}

bool TJournalWindow::ExportCsv(const QString &path, QString *error) const
{
    QSaveFile file(path);
    const QByteArray csv = JournalCsv(ShownEvents);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("%1 could not be written: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

void TJournalWindow::AskExport()
{
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Export the journal"),
        QStringLiteral("journal-%1.csv").arg(Serials->currentText()), QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!ExportCsv(path, &error) && Reporter)
        Reporter->Error(error + QStringLiteral("; nothing was exported."));
}

void TJournalWindow::PrintTo(QPrinter &printer) const
{
    QPainter painter(&printer);
    if (!painter.isActive())
        return;
    TTextPrinter out(printer, painter, QFontDatabase::systemFont(QFontDatabase::FixedFont));
    out.Line(QStringLiteral("Change journal of instrument %1").arg(Serials->currentText()));
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
