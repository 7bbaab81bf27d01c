// The Data Store tab: browsing, uploading and extracting the local record store.
#include "DataStoreTab.h"

#include "Progress.h"
#include "base/dmViewer.h"
#include "base/ui/maincontrols.h"
#include "base/ui/printfile.h"
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
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
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

// The long time format without its time-zone name: the pickers' times have no zone, and the name
// only lengthens the printed header past the page.
QString LongTimeWithoutZone(const QLocale &locale, const QTime &time)
{
    QString format = locale.timeFormat(QLocale::LongFormat);
    if (!format.contains(QLatin1Char('\'')))
        format.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
    return locale.toString(time, format.trimmed());
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

// An instrument's serial number as the list shows it; empty when it is not known.
QString ListedSerial(const QByteArray &serial)
{
    return serial.isEmpty() ? QString()
                            : BlankLeadingZeros(PadLeftTo(QString::fromLatin1(serial), 10, QLatin1Char('0')));
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

// --- upload and extraction -------------------------------------------------------------------------

void TDataStoreTab::DsdUploadOrRefreshClick()
{
    if (!Engine || !Device) {
        if (Reporter)
            Reporter->Error(
                LangText("Messages", "DsdNotConnected", "Com Port not open or instrument not connected"));
        return;
    }
    // Nothing else reaches the instrument or the store meanwhile; the progress window's Cancel
    // stays usable.
    TMainControlsGuard lock(this);
    TDsdUpload upload(*Engine, *Device, Store.Layout);
    upload.CheckInstrumentKnown = [this] { return CheckInstrumentKnown(); };
    upload.Reporter = Reporter;
    upload.Progress = Progress;
    upload.Log = Log;
    upload.ScrambleLines = ScrambleLines;
    upload.DebugMode = DebugMode;
    DsdUploadOrRefresh->setEnabled(false);
    TDsdUpload::TResult result = upload.DsdUploadOrRefreshClick();
    // The instrument's records no longer continue its store: nothing of them was mixed in. The
    // user may start a new store file for them, the old one kept unchanged beside it.
    if (result == TDsdUpload::Restarted && upload.Count == 0 && Reporter &&
        Reporter->Ask(
            upload.Message + QStringLiteral("\n\n") +
            LangText("Messages", "DsdNewSequence",
                     QStringLiteral("Start a new Data Store file for the instrument's new sequence of "
                                    "records? The current file is kept unchanged beside it, named "
                                    "with the time it was closed.")))) {
        upload.NewSequence = true;
        result = upload.DsdUploadOrRefreshClick();
    } else if (result == TDsdUpload::Restarted && upload.Count > 0 && Reporter) {
        Reporter->Error(upload.Message);
    }
    DsdUploadOrRefresh->setEnabled(true);
    if (result == TDsdUpload::Failed)
        return;
    if (result == TDsdUpload::Uploaded)
        ShowStatusText(upload.Message, !upload.Missing.isEmpty());
    // The list again, with the instrument just uploaded chosen and loaded.
    RebuildList();
    ChooseStore(ListedSerial(Device->SerialNumber));
    // An incomplete or refused upload, or one that found records gone, has its message, not the
    // count of the load, in the status bar, in red.
    if (result == TDsdUpload::Incomplete || result == TDsdUpload::Restarted ||
        (result == TDsdUpload::Uploaded && !upload.Missing.isEmpty()))
        ShowStatusText(upload.Message, true);
}

void TDataStoreTab::DsdExtractCsvBitBtnClick()
{
    const QString serial = Store.DsdIsnFromControl().trimmed();
    if (serial.isEmpty()) {
        if (Reporter)
            Reporter->Info(LangText("Messages", "DsdNoSerial", NoSerialSelectedText));
        return;
    }
    if (Store.Records.RecordCount() == 0) {
        if (Reporter)
            Reporter->Info(LangText("Messages", "DsdNoRecordsMatch", NoRecordsMatchText));
        return;
    }
    DsdScrollBitBtnClick(ScrollOldest);
    if (Store.Selection.Empty()) {
        if (Reporter)
            Reporter->Info(LangText("Messages", "DsdNoRecordsMatch", NoRecordsMatchText));
        return;
    }
    const QString dir = Config ? Config->GetCsvDir() : QString();
    const QString path = AskSaveFile ? AskSaveFile(dir, DsdCsvFileName(serial)) : QString();
    if (path.isEmpty())
        return;
    TMainControlsGuard lock(this); // the store stays as it is while it is read
    const TDsdExtractResult result = DsdExtractCsvToFile(Store.Selection, serial, path, Progress);
    Progress->HideProgress();
    if (Config && result.Done)
        Config->SetCsvDir(QFileInfo(path).absolutePath());
    if (!result.Message.isEmpty() && Reporter) {
        if (result.Done || result.Cancelled)
            Reporter->Info(result.Message);
        else
            Reporter->Error(result.Message);
    }
    DsdRecordWindowPopulate();
}

namespace
{
// Printed lines one below the other in the printer's font, red or black.
class TPainterSink : public TDsdLineSink
{
public:
    TPainterSink(QPrinter &printer, QPainter &painter, int lineHeight)
        : Printer(printer), Painter(painter), LineHeight(lineHeight),
          Ascent(QFontMetrics(painter.font(), &printer).ascent()), PageWidth(printer.width())
    {
    }
    void PrintLine(const QByteArray &text, bool red) override
    {
        Painter.setPen(red ? QColor(Qt::red) : QColor(Qt::black));
        const QString line = QString::fromUtf8(text);
        // A line wider than the page (a long header, a large font) is drawn smaller to fit it,
        // measured as the painter itself lays it out.
        const qreal width =
            Painter.boundingRect(QRectF(0, 0, 1e7, 1e4), Qt::AlignLeft | Qt::AlignTop, line).width();
        if (width > PageWidth && PageWidth > 0) {
            const qreal scale = PageWidth / width;
            Painter.save();
            Painter.translate(0, Y + Ascent);
            Painter.scale(scale, scale);
            Painter.drawText(QPointF(0, 0), line);
            Painter.restore();
        } else {
            Painter.drawText(0, Y + Ascent, line);
        }
        Y += LineHeight;
    }
    void NewPage() override
    {
        Printer.newPage();
        Y = 0;
    }

private:
    QPrinter &Printer;
    QPainter &Painter;
    int LineHeight;
    int Ascent;
    int PageWidth;
    int Y = 0;
};
} // namespace

void TDataStoreTab::DsdExtractPrintBitBtnClick()
{
    const QString serial = Store.DsdIsnFromControl().trimmed();
    if (serial.isEmpty()) {
        if (Reporter)
            Reporter->Info(LangText("Messages", "DsdNoSerial", NoSerialSelectedText));
        return;
    }
    TDsdSelection &s = Store.Selection;
    if (Store.Records.RecordCount() == 0 || s.Empty()) {
        if (Reporter)
            Reporter->Info(LangText("Messages", "DsdNoRecordsMatch", NoRecordsMatchText));
        return;
    }
    DsdScrollBitBtnClick(ScrollOldest);
    if (s.Empty()) {
        if (Reporter)
            Reporter->Info(LangText("Messages", "DsdNoRecordsMatch", NoRecordsMatchText));
        return;
    }
    const int margin = DsdClampMargin(Config ? Config->GetLeftMargin() : 0);
    const int size = DsdClampFontSize(Config ? Config->GetFontSize() : 10);
    QPrinter printer;
    if (!AskPrinter || !AskPrinter(printer))
        return;

    QString range;
    if (s.Mode == SelectDateTime) {
        const QLocale locale;
        range = QStringLiteral("Records %1 %2 to %3 %4")
                    .arg(locale.toString(DsdDateFrom->date(), QLocale::ShortFormat),
                         LongTimeWithoutZone(locale, DsdTimeFrom->time()),
                         locale.toString(DsdDateTo->date(), QLocale::ShortFormat),
                         LongTimeWithoutZone(locale, DsdTimeTo->time()));
    } else {
        range = QStringLiteral("Records %1 to %2").arg(s.FirstNumber).arg(s.LastNumber);
    }
    printer.setDocName(QStringLiteral("ISN ") + serial + QLatin1Char(' ') + range);
    const TDsdPrintLayout layout =
        DsdPrintLayout(size, printer.resolution(), printer.pageRect(QPrinter::DevicePixel).toRect().height(),
                       s.FirstIndex, s.LastIndex);
    // Asked before the job starts, so that declining prints nothing at all.
    if (layout.AskFirst &&
        !(Reporter && Reporter->Ask(DsdPrintWarningText(layout.Records, range, layout.PageCount)))) {
        if (Reporter)
            Reporter->Info(DsdPrintRestrictRangeText());
        return;
    }
    TPrintFileGuard output(printer);
    QPainter painter;
    if (!painter.begin(&printer)) {
        if (Reporter)
            Reporter->Error(LangText("Messages", "PrinterNotStarted", "The printer could not be started."));
        return;
    }
    QFont font("Courier New", size);
    font.setStyleHint(QFont::Monospace);
    painter.setFont(font);
    TPainterSink sink(printer, painter, layout.LineHeight);
    TDsdPrintPager pager(sink, layout, margin, "Instrument Serial Number:" + serial.toUtf8(),
                         "Report Date:" +
                             QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat).toUtf8(),
                         range.toUtf8(), Store.Records.FileVerdict());

    TMainControlsGuard lock(this);
    DsdShowExtractProgress(*Progress, s, serial, 5000);
    uint32_t count = 0;
    uint32_t i = s.FirstIndex;
    do {
        QByteArray gap;
        if (i > s.FirstIndex && Store.Records.AppendGapLine(i, gap))
            pager.PrintRecordLine(gap, true);
        const QByteArray text = Store.Records.DsdRecordObtain(i);
        if (text.isEmpty())
            break;
        pager.PrintRecordLine(text, Store.Records.Entry(i).Verdict != 0);
        if (++count % 10000 == 0) {
            Progress->ProcessEvents();
            Progress->StepProgress(QString::number(Store.Records.Entry(i).Number), i / 2);
        }
        ++i;
    } while (i <= s.LastIndex && i != 0 && !Progress->CancelRequested());
    if (Store.Records.FileVerdict() & VerdictFileIncomplete)
        pager.PrintRecordLine(FileIncompleteLine, true);
    pager.PrintRecordLine("EOJ", false);
    QString printError;
    if (!painter.end())
        printError = QStringLiteral("The printout could not be finished.");
    else
        output.Finish(&printError);
    const bool cancelled = Progress->CancelRequested();
    Progress->HideProgress();
    if (Config) {
        Config->SetLeftMargin(margin);
        Config->SetFontSize(size);
    }
    if (!printError.isEmpty()) {
        if (Reporter)
            Reporter->Error(printError);
    } else if (Store.Records.FileChanged()) {
        if (Reporter)
            Reporter->Error(LangText("Messages", "DsdStoreChanged", QString::fromLatin1(StoreChangedText)));
    } else if (Reporter) {
        Reporter->Info(
            cancelled ? LangText("Messages", "DsdExtractionCancelled", ExtractionCancelledText)
            : count == 1
                ? LangText("Messages", "DsdExtractedOne", QStringLiteral("Succesfully extracted 1 record."))
                : LangText("Messages", "DsdExtracted", QStringLiteral("Succesfully extracted %1 records."))
                      .arg(count));
    }
    DsdRecordWindowPopulate();
}
