// The Data Store tab: browsing, uploading and extracting the local record store.
#include "DataStoreTab.h"

#include "Progress.h"
#include "base/dmViewer.h"
#include "base/ui/maincontrols.h"
#include "datastore/extract.h"
#include "datastore/upload.h"
#include "i18n/LumsLang.h"
#include "link/reporter.h"
#include "link/transact.h"
#include "link/ui/radiogroup.h"
#include "settings/device.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextEdit>
#include <QTimeEdit>
#include <QToolButton>
#include <QWheelEvent>
#include <optional>

namespace
{
QFont CourierNew()
{
    QFont font("Courier New");
    font.setStyleHint(QFont::Monospace);
    return font;
}

// The least width at which an edit shows TEXT whole, worked out as the edit works out its own size.
int LineEditWidthFor(const QLineEdit *edit, const QString &text)
{
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth =
        edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
    const QMargins margins = edit->textMargins();
    // The edit keeps 2 pixels either side of its text, and room for the cursor.
    const int width =
        edit->fontMetrics().horizontalAdvance(text) + 2 * 2 + 1 + margins.left() + margins.right();
    return edit->style()
        ->sizeFromContents(QStyle::CT_LineEdit, &option, QSize(width, edit->fontMetrics().height()), edit)
        .width();
}

// Enabled input fields are white, disabled ones take the menu colour.
void SetFieldEnabled(QWidget *w, bool enabled)
{
    w->setEnabled(enabled);
    QPalette p = w->palette();
    p.setColor(QPalette::Base, enabled ? QColor(Qt::white) : w->palette().color(QPalette::Window));
    w->setPalette(p);
}
} // namespace

// An instrument's serial number as the list shows it; empty when it is not known.
QString TDataStoreTab::ListedSerial(const QByteArray &serial)
{
    return serial.isEmpty() ? QString()
                            : BlankLeadingZeros(PadLeftTo(QString::fromLatin1(serial), 10, QLatin1Char('0')));
}

TDataStoreTab::TDataStoreTab(TTransactionEngine *engine, TReporter *reporter, TdatViewer *config,
                             QWidget *parent)
    : QWidget(parent), Engine(engine), Reporter(reporter), Config(config)
{
    setObjectName("DataStoreTab");
    Progress = new TFrmProgress(this);
    Store.SetReporter(reporter);
    Store.LinkOpen = [this] { return Engine && Engine->LinkOpen(); };
    Store.CheckInstrumentKnown = [this] { return CheckInstrumentKnown(); };

    auto *grid = new QGridLayout;
    DsdIsn = new QComboBox(this);
    DsdIsn->setObjectName("DsdIsn");
    DsdIsn->setFont(CourierNew());
    DsdIsn->setMinimumContentsLength(12);
    // Closed store files are listed with the time they were closed: the box shows the whole entry.
    DsdIsn->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    DsdUploadOrRefresh = new QPushButton("Upload/Refresh", this);
    DsdUploadOrRefresh->setObjectName("DsdUploadOrRefresh");
    DsdOldestUploadedRec = new QLineEdit(this);
    DsdOldestUploadedRec->setObjectName("DsdOldestUploadedRec");
    DsdNewestUploadedRec = new QLineEdit(this);
    DsdNewestUploadedRec->setObjectName("DsdNewestUploadedRec");
    for (QLineEdit *e : {DsdOldestUploadedRec, DsdNewestUploadedRec}) {
        e->setReadOnly(true);
        e->setFont(CourierNew());
    }
    auto label = [this](const char *name, const char *text) {
        auto *l = new QLabel(QString::fromUtf8(text), this);
        l->setObjectName(name);
        return l;
    };
    grid->addWidget(label("LblDsdIsn", "Instrument Serial Nº:"), 0, 0);
    grid->addWidget(DsdIsn, 0, 1);
    grid->addWidget(DsdUploadOrRefresh, 0, 2);
    grid->addWidget(label("LblDsdOldest", "Oldest Uploaded Rec:"), 1, 0);
    grid->addWidget(DsdOldestUploadedRec, 1, 1, 1, 5);
    grid->addWidget(label("LblDsdNewest", "Newest Uploaded Rec:"), 2, 0);
    grid->addWidget(DsdNewestUploadedRec, 2, 1, 1, 5);

    DsdRecordRadioFromTo =
        new TRadioGroup("DsdRecordRadioFromTo", "From/To", {"All", "Record Nº", "Date/Time"}, this, 3);
    DsdRecordRadioFromTo->SetItemIndex(SelectAll);
    DsdFrom = new QLineEdit("0", this);
    DsdFrom->setObjectName("DsdFrom");
    DsdTo = new QLineEdit("4294967295", this);
    DsdTo->setObjectName("DsdTo");
    // Record numbers run to 4294967295: both fields show the largest whole at the window's least size.
    for (QLineEdit *e : {DsdFrom, DsdTo})
        e->setMinimumWidth(LineEditWidthFor(e, QStringLiteral("4294967295")));
    const QDate start(2008, 2, 18);
    DsdDateFrom = new QDateEdit(start, this);
    DsdDateFrom->setObjectName("DsdDateFrom");
    DsdDateTo = new QDateEdit(start, this);
    DsdDateTo->setObjectName("DsdDateTo");
    DsdTimeFrom = new QTimeEdit(QTime(0, 0, 0), this);
    DsdTimeFrom->setObjectName("DsdTimeFrom");
    DsdTimeTo = new QTimeEdit(QTime(23, 59, 59), this);
    DsdTimeTo->setObjectName("DsdTimeTo");
    // Dates as the records show them (the system's format), not in the program's number locale,
    // whose month names are English.
    for (QDateEdit *d : {DsdDateFrom, DsdDateTo}) {
        d->setLocale(QLocale::system());
        d->setCalendarPopup(true);
    }
    for (QTimeEdit *t : {DsdTimeFrom, DsdTimeTo})
        t->setDisplayFormat("HH:mm:ss");
    grid->addWidget(DsdRecordRadioFromTo, 3, 0, 2, 2);
    grid->addWidget(label("LblDsdFrom", "From:"), 3, 2);
    grid->addWidget(DsdFrom, 3, 3);
    grid->addWidget(DsdDateFrom, 3, 4);
    grid->addWidget(DsdTimeFrom, 3, 5);
    grid->addWidget(label("LblDsdTo", "To:"), 4, 2);
    grid->addWidget(DsdTo, 4, 3);
    grid->addWidget(DsdDateTo, 4, 4);
    grid->addWidget(DsdTimeTo, 4, 5);

    auto *buttons = new QHBoxLayout;
    DsdView = new QPushButton("View", this);
    DsdView->setObjectName("DsdView");
    buttons->addWidget(DsdView);
    auto scrollButton = [&](const char *name, Qt::ArrowType arrow, bool twice, const char *tip) {
        auto *b = new QToolButton(this);
        b->setObjectName(name);
        b->setArrowType(arrow);
        b->setText(twice ? "|" : "");
        b->setToolButtonStyle(twice ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly);
        b->setToolTip(tip);
        buttons->addWidget(b);
        return b;
    };
    DsdScrollOldestBitBtn = scrollButton("DsdScrollOldestBitBtn", Qt::UpArrow, true, "Oldest");
    DsdScrollPrevBitBtn = scrollButton("DsdScrollPrevBitBtn", Qt::UpArrow, false, "Previous");
    DsdScrollNextBitBtn = scrollButton("DsdScrollNextBitBtn", Qt::DownArrow, false, "Next");
    DsdScrollNewestBitBtn = scrollButton("DsdScrollNewestBitBtn", Qt::DownArrow, true, "Newest");
    buttons->addStretch();
    DsdExtractCsvBitBtn = new QPushButton("Extract to CSV file", this);
    DsdExtractCsvBitBtn->setObjectName("DsdExtractCsvBitBtn");
    DsdExtractPrintBitBtn = new QPushButton("Extract to Printer", this);
    DsdExtractPrintBitBtn->setObjectName("DsdExtractPrintBitBtn");
    buttons->addWidget(DsdExtractCsvBitBtn);
    buttons->addWidget(DsdExtractPrintBitBtn);

    DsdWitnessBox = new QTextEdit(this);
    DsdWitnessBox->setObjectName("DsdWitnessBox");
    DsdWitnessBox->setReadOnly(true);
    DsdWitnessBox->setLineWrapMode(QTextEdit::NoWrap);
    DsdWitnessBox->setFont(CourierNew());
    DsdWitnessBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    DsdWitnessBox->installEventFilter(this);
    // The wheel turns over the box's viewport; the keys come to the box itself.
    DsdWitnessBox->viewport()->installEventFilter(this);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->addWidget(DsdWitnessBox, 1);

    connect(DsdIsn, &QComboBox::activated, this, [this](int index) { DsdIsnChange(index); });
    connect(DsdUploadOrRefresh, &QPushButton::clicked, this, [this] { DsdUploadOrRefreshClick(); });
    connect(DsdRecordRadioFromTo, &TRadioGroup::Changed, this, [this] { DsdRecordRadioFromToSetup(); });
    connect(DsdView, &QPushButton::clicked, this, [this] { DsdViewClick(); });
    connect(DsdScrollOldestBitBtn, &QToolButton::clicked, this,
            [this] { DsdScrollBitBtnClick(ScrollOldest); });
    connect(DsdScrollPrevBitBtn, &QToolButton::clicked, this,
            [this] { DsdScrollBitBtnClick(ScrollPrevious); });
    connect(DsdScrollNextBitBtn, &QToolButton::clicked, this, [this] { DsdScrollBitBtnClick(ScrollNext); });
    connect(DsdScrollNewestBitBtn, &QToolButton::clicked, this,
            [this] { DsdScrollBitBtnClick(ScrollNewest); });
    connect(DsdExtractCsvBitBtn, &QPushButton::clicked, this, [this] { DsdExtractCsvBitBtnClick(); });
    connect(DsdExtractPrintBitBtn, &QPushButton::clicked, this, [this] { DsdExtractPrintBitBtnClick(); });
    AskPrinter = [this](QPrinter &printer) {
        QPrintDialog dialog(&printer, this);
        dialog.setOptions(QAbstractPrintDialog::PrintToFile);
        return dialog.exec() == QDialog::Accepted;
    };

    AskSaveFile = [this](const QString &dir, const QString &fileName) {
        QFileDialog dialog(this, LangText("Messages", "DsdCsvCaption", "Extract to CSV file..."),
                           QDir(dir).filePath(fileName),
                           LangText("Messages", "DsdCsvFilter", "Comma Separated Values File") + " (*.csv)");
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix("csv");
        dialog.setOption(QFileDialog::ReadOnly, false);
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().first()
                   : QString();
    };
    DsdRecordControlsSetup(false);
}

void TDataStoreTab::SetLog(const std::function<void(const QString &)> &log)
{
    Log = log;
    Store.SetLog(log);
}

bool TDataStoreTab::CheckInstrumentKnown()
{
    if (!Device)
        return false;
    Device->ReadIdentity();
    // No answer is no unknown instrument: the engine has said that it is silent.
    if (Device->CommsType.isEmpty())
        return false;
    if (Device->CommsType != "00") {
        if (Reporter)
            Reporter->Error(LangText("Messages", "DsdUnknownComms", "Unknown Instrument Communications"));
        return false;
    }
    return true;
}

// --- the list and the loaded file ----------------------------------------------------------------

void TDataStoreTab::DsdTabPopup()
{
    Store.Records.MaxStoreFileSize = MaxStoreFileSize;
    Store.Records.ScrambleLines = ScrambleLines;
    switch (Store.DsdTabPopupKeepingLoaded()) {
    case TDsdDataStore::Kept:
        return;
    case TDsdDataStore::Replaced:
        DsdIsnChange(Store.SelectedIsn);
        return;
    case TDsdDataStore::Rebuilt:
        DsdWitnessBox->clear();
        ShowStore();
        ChooseStore(ConnectedSerial());
        return;
    }
}

void TDataStoreTab::RebuildList()
{
    Store.Records.MaxStoreFileSize = MaxStoreFileSize;
    Store.Records.ScrambleLines = ScrambleLines;
    Store.DsdTabPopup();
    DsdWitnessBox->clear();
    ShowStore();
}

QString TDataStoreTab::ConnectedSerial() const
{
    return Engine && Engine->LinkOpen() && Device ? ListedSerial(Device->SerialNumber) : QString();
}

void TDataStoreTab::ChooseStore(const QString &serial)
{
    const int index = Store.AutoSelection(serial);
    if (index >= 0) {
        // As if the user had picked it.
        DsdIsnChange(index);
        return;
    }
    Store.DsdIsnChange(-1);
    ShowStore();
    ShowStatusText({}, false); // no count or warning of a store no longer shown
    DsdWitnessBox->clear();
    ShowHint();
}

void TDataStoreTab::ShowHint()
{
    if (!Store.Listed || Store.SelectedIsn >= 0)
        return;
    DsdWitnessBox->setPlainText(Store.IsnList.isEmpty()
                                    ? LangText("Messages", "DsdNothingUploaded", NothingUploadedHint)
                                    : LangText("Messages", "DsdPickSerial", PickSerialHint));
}

void TDataStoreTab::DsdIsnChange(int index)
{
    Store.Records.MaxStoreFileSize = MaxStoreFileSize;
    Store.Records.ScrambleLines = ScrambleLines;
    TakeInputs();
    Store.DsdIsnChange(index);
    // The record-number fields start at the oldest and newest record stored, so that a range is
    // narrowed from what is there; the window then shows that selection from its start.
    if (const uint32_t count = Store.Records.RecordCount()) {
        DsdFrom->setText(QString::number(Store.Records.Entry(0).Number));
        DsdTo->setText(QString::number(Store.Records.Entry(count - 1).Number));
        TakeInputs();
        Store.Selection.DsdScrollBitBtnClick(ScrollOldest);
    }
    ShowStore();
    DsdRecordWindowPopulate();
    ShowLoadResult();
}

void TDataStoreTab::ShowStore()
{
    const QSignalBlocker block(DsdIsn);
    DsdIsn->clear();
    DsdIsn->addItems(Store.IsnList);
    DsdIsn->setCurrentIndex(Store.SelectedIsn);
    DsdOldestUploadedRec->setText(QString::fromUtf8(Store.OldestUploadedRec));
    DsdNewestUploadedRec->setText(QString::fromUtf8(Store.NewestUploadedRec));
    DsdRecordControlsSetup(Store.RecordControlsEnabled);
}

void TDataStoreTab::ShowStatusText(const QString &text, bool red)
{
    if (!OnStatusText)
        return;
    OnStatusText(text, red);
    StatusShown = text;
}

void TDataStoreTab::ShowLoadResult()
{
    for (const QString &message : Store.Records.WindowMessages)
        DsdWitnessBox->append(message);
    if (!Store.DsdIsnFromControl().isEmpty())
        ShowStatusText(Store.Records.StatusText, Store.Records.StatusTamper);
}

void TDataStoreTab::DsdRecordControlsSetup(bool enabled)
{
    DsdRecordRadioFromTo->setEnabled(enabled);
    if (enabled) {
        DsdRecordRadioFromToSetup();
    } else {
        for (QWidget *w :
             std::initializer_list<QWidget *>{DsdDateFrom, DsdDateTo, DsdTimeFrom, DsdTimeTo, DsdFrom, DsdTo})
            SetFieldEnabled(w, false);
    }
    DsdExtractCsvBitBtn->setEnabled(enabled);
    DsdExtractPrintBitBtn->setEnabled(enabled);
    SetFieldEnabled(DsdOldestUploadedRec, enabled);
    SetFieldEnabled(DsdNewestUploadedRec, enabled);
    DsdView->setEnabled(enabled);
}

void TDataStoreTab::DsdRecordRadioFromToSetup()
{
    const int mode = DsdRecordRadioFromTo->ItemIndex();
    for (QWidget *w : std::initializer_list<QWidget *>{DsdDateFrom, DsdDateTo, DsdTimeFrom, DsdTimeTo})
        SetFieldEnabled(w, mode == SelectDateTime);
    for (QWidget *w : std::initializer_list<QWidget *>{DsdFrom, DsdTo})
        SetFieldEnabled(w, mode == SelectRecordNumber);
}

// --- the selection and the record window ----------------------------------------------------------

void TDataStoreTab::TakeInputs()
{
    TDsdSelection &s = Store.Selection;
    s.Mode = std::max(0, DsdRecordRadioFromTo->ItemIndex());
    s.FromText = DsdFrom->text().toLatin1();
    s.ToText = DsdTo->text().toLatin1();
    auto dateOf = [](const QDate &d) { return uint32_t(d.year() * 10000 + d.month() * 100 + d.day()); };
    auto timeOf = [](const QTime &t) { return uint32_t(t.hour() * 10000 + t.minute() * 100 + t.second()); };
    s.FromDate = dateOf(DsdDateFrom->date());
    s.ToDate = dateOf(DsdDateTo->date());
    s.FromTime = timeOf(DsdTimeFrom->time());
    s.ToTime = timeOf(DsdTimeTo->time());
    s.WindowLines =
        std::max(1, DsdLinesMemo(DsdWitnessBox->height(), QFontMetrics(DsdWitnessBox->font()).height()));
}

void TDataStoreTab::DsdViewClick()
{
    DsdScrollBitBtnClick(ScrollOldest);
}

void TDataStoreTab::DsdScrollBitBtnClick(TDsdScrollButton button)
{
    TakeInputs();
    Store.Selection.DsdScrollBitBtnClick(button);
    DsdRecordWindowPopulate();
}

void TDataStoreTab::DsdRecordWindowPopulate()
{
    DsdWitnessBox->clear();
    if (Store.Records.RecordCount() == 0 && !(Store.Records.FileVerdict() & VerdictFileIncomplete))
        return;
    QTextCursor cursor(DsdWitnessBox->document());
    QTextCharFormat black, red;
    black.setForeground(QColor(Qt::black));
    red.setForeground(QColor(Qt::red));
    bool first = true;
    for (const TDsdWindowLine &line : Store.Selection.DsdRecordWindowPopulate()) {
        if (!first)
            cursor.insertBlock();
        cursor.insertText(QString::fromUtf8(line.Text), line.Red ? red : black);
        first = false;
    }
    DsdWitnessBox->moveCursor(QTextCursor::Start);
    if (Store.Records.FileChanged())
        ShowStatusText(Store.Records.StatusText, true);
}

bool TDataStoreTab::eventFilter(QObject *watched, QEvent *event)
{
    // The number of record lines follows the window's height.
    if (watched == DsdWitnessBox && event->type() == QEvent::Resize && Store.Records.RecordCount() > 0) {
        TakeInputs();
        DsdRecordWindowPopulate();
    }
    // The box shows only the lines of the window: the wheel and the paging keys move the window
    // through the selection as the scroll buttons do.
    if (watched == DsdWitnessBox->viewport() && event->type() == QEvent::Wheel) {
        const int delta = static_cast<QWheelEvent *>(event)->angleDelta().y();
        WheelTurn += delta;
        const int notches = WheelTurn / QWheelEvent::DefaultDeltasPerStep;
        WheelTurn -= notches * QWheelEvent::DefaultDeltasPerStep;
        if (notches != 0 && Store.Records.RecordCount() > 0) {
            TakeInputs();
            Store.Selection.ScrollLines(-int64_t(notches) * WheelLines);
            DsdRecordWindowPopulate();
        }
        return true;
    }
    if (watched == DsdWitnessBox && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        std::optional<TDsdScrollButton> button;
        int64_t lines = 0;
        switch (key) {
        case Qt::Key_PageUp:
            button = ScrollPrevious;
            break;
        case Qt::Key_PageDown:
            button = ScrollNext;
            break;
        case Qt::Key_Home:
            button = ScrollOldest;
            break;
        case Qt::Key_End:
            button = ScrollNewest;
            break;
        case Qt::Key_Up:
            lines = -1;
            break;
        case Qt::Key_Down:
            lines = 1;
            break;
        default:
            return QWidget::eventFilter(watched, event);
        }
        if (Store.Records.RecordCount() > 0) {
            if (button) {
                DsdScrollBitBtnClick(*button);
            } else {
                TakeInputs();
                Store.Selection.ScrollLines(lines);
                DsdRecordWindowPopulate();
            }
        }
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
