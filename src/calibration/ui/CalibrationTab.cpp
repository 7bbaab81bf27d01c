// The Calibration tab and its wiring to the main window (see CalibrationTab.h).
#include "calibration/ui/CalibrationTab.h"

#include "calibration/calibration.h"
#include "calibration/ui/AbsCal.h"
#include "i18n/LumsLang.h"
#include "i18n/ui/LumsLangComp.h"
#include "link/transact.h"
#include "settings/device.h"
#include "settings/session.h"
#include "shell/ui/main.h"
#include "values/tools.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>

TCalibrationTab::TCalibrationTab(QWidget *parent) : QWidget(parent)
{
    setObjectName("PnlCal");
    GBxCal = new QGroupBox("Calibration", this);
    GBxCal->setObjectName("GBxCal");
    BtnZero = new QPushButton("Zero", GBxCal);
    BtnZero->setObjectName("BtnZero");
    BTnSpan = new QPushButton("Span", GBxCal);
    BTnSpan->setObjectName("BTnSpan");
    CBxDirectMVV = new QCheckBox("Direct mV/V calibration", GBxCal);
    CBxDirectMVV->setObjectName("CBxDirectMVV");
    auto label = [](const char *name, const QString &text, QWidget *parent) {
        auto *l = new QLabel(text, parent);
        l->setObjectName(name);
        return l;
    };
    LblZeroCal = label("LblZeroCal", "0.0000", GBxCal);
    LblSpanCal = label("LblSpanCal", "0.0000", GBxCal);
    for (QLabel *figure : {LblZeroCal, LblSpanCal}) {
        figure->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        figure->setMinimumWidth(fontMetrics().horizontalAdvance("-0.00000"));
    }
    auto *cal = new QGridLayout(GBxCal);
    cal->addWidget(BtnZero, 0, 0);
    cal->addWidget(BTnSpan, 0, 1, 1, 2);
    cal->addWidget(CBxDirectMVV, 1, 0, 1, 3);
    cal->addWidget(label("LblZero", "Zero:", GBxCal), 2, 0);
    cal->addWidget(LblZeroCal, 2, 1);
    cal->addWidget(label("LblZeroUnits", "mV/V", GBxCal), 2, 2);
    cal->addWidget(label("LblSpan", "Fullscale:", GBxCal), 3, 0);
    cal->addWidget(LblSpanCal, 3, 1);
    cal->addWidget(label("LblSpanUnits", "mV/V", GBxCal), 3, 2);
    cal->setRowStretch(4, 1);

    GBxLin = new QGroupBox("Linearisation", this);
    GBxLin->setObjectName("GBxLin");
    LBxLCal = new QListWidget(GBxLin);
    LBxLCal->setObjectName("LBxLCal");
    // The points line up in columns: "%2d: %3d%%".
    LBxLCal->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    for (int n = 1; n <= 10; ++n)
        LBxLCal->addItem(QStringLiteral("%1:").arg(n));
    LBxLCal->setCurrentRow(0);
    const int rows = 10 * LBxLCal->sizeHintForRow(0) + 2 * LBxLCal->frameWidth();
    LBxLCal->setFixedHeight(rows);
    LBxLCal->setFixedWidth(QFontMetrics(LBxLCal->font()).horizontalAdvance("10: 100%") + 40);
    BtnLSet = new QPushButton("Set", GBxLin);
    BtnLSet->setObjectName("BtnLSet");
    BtnLClear = new QPushButton("Clear", GBxLin);
    BtnLClear->setObjectName("BtnLClear");
    auto *lin = new QGridLayout(GBxLin);
    lin->addWidget(LBxLCal, 0, 0, 3, 1);
    lin->addWidget(BtnLSet, 0, 1);
    lin->addWidget(BtnLClear, 1, 1);
    lin->setRowStretch(2, 1);

    auto *row = new QHBoxLayout(this);
    row->addStretch(1);
    row->addWidget(GBxCal);
    row->addWidget(GBxLin);
    row->addStretch(1);
}

void TCalibrationTab::ShowCalibrationInfo(const TDevice &device)
{
    // A figure that could not be read says so in the program's language.
    const QString notRead = LangText("Messages", "NotRead", "(not read)");
    auto shown = [&notRead](const QByteArray &text) {
        return QString::fromLatin1(text).replace(QStringLiteral("(not read)"), notRead);
    };
    LblZeroCal->setText(shown(device.CalZeroText()));
    LblSpanCal->setText(shown(device.CalSpanText()));
    const int row = LBxLCal->currentRow();
    LBxLCal->clear();
    for (const QByteArray &line : device.LinearisationList())
        LBxLCal->addItem(shown(line));
    LBxLCal->setCurrentRow(row >= 0 && row < LBxLCal->count() ? row : 0);
}

// --- the wiring --------------------------------------------------------------------------------

TCalibrationUi::TCalibrationUi(TFrmMain &window, TSession *session) : QObject(&window), Window(window)
{
    Calibration = new TCalibration(Window.Engine, Window.Device, session, this);
    Calibration->Reporter = Window.Reporter;
    Tab = new TCalibrationTab(Window.TSCalibration);
    if (auto *box = qobject_cast<QBoxLayout *>(Window.TSCalibration->layout())) {
        box->addWidget(Tab);
        box->setStretchFactor(Window.CalMimicHost, 1);
    }

    Calibration->OnAskValue = [this](const TCalAsk &ask) { return AskValue(ask); };
    Calibration->OnBusy = [this](bool busy) {
        if (busy)
            Window.DisableMainControls();
        else
            Window.EnableMainControls();
    };
    WatchLine = new QLabel(Window.statusBar());
    WatchLine->setObjectName("LblCalWatch");
    Window.statusBar()->addWidget(WatchLine);
    WatchLine->hide();
    Calibration->OnWatching = [this](int seconds) {
        WatchLine->setText(TCalibration::WatchText(seconds));
        WatchLine->show();
    };
    Calibration->OnWatchEnded = [this] {
        WatchLine->hide();
        WatchLine->clear();
    };
    Calibration->OnCalibrationInfo = [this] { ShowCalibrationInfo(); };
    if (session)
        session->OnCalibrationInfo = [this] { ShowCalibrationInfo(); };

    connect(Tab->BtnZero, &QPushButton::clicked, this, &TCalibrationUi::BtnZeroClick);
    connect(Tab->BTnSpan, &QPushButton::clicked, this, &TCalibrationUi::BTnSpanClick);
    connect(Tab->BtnLSet, &QPushButton::clicked, this, &TCalibrationUi::BtnLSetClick);
    connect(Tab->BtnLClear, &QPushButton::clicked, this, &TCalibrationUi::BtnLClearClick);
}

std::optional<QByteArray> TCalibrationUi::AskValue(const TCalAsk &ask)
{
    TFrmAbsCal dialog(Window.Reporter, &Window);
    dialog.Setup(ask);
    // The language file has the last word, as when the dialog is shown.
    if (Window.Language)
        Window.Language->ApplyLanguage(&dialog);
    const int result = Window.Hooks.ExecModal ? Window.Hooks.ExecModal(&dialog) : dialog.exec();
    if (result != QDialog::Accepted)
        return std::nullopt;
    return dialog.Value();
}

template <typename Flow> void TCalibrationUi::Run(Flow flow)
{
    // A second click that slipped in while a step runs starts nothing.
    if (Running)
        return;
    Running = true;
    flow();
    Running = false;
}

void TCalibrationUi::BtnZeroClick()
{
    Run([this] {
        if (Tab->CBxDirectMVV->isChecked())
            Calibration->DirectZero();
        else
            Calibration->Zero();
    });
}

void TCalibrationUi::BTnSpanClick()
{
    Run([this] {
        if (Tab->CBxDirectMVV->isChecked())
            Calibration->DirectSpan();
        else
            Calibration->Span();
    });
}

void TCalibrationUi::BtnLSetClick()
{
    const int row = Tab->LBxLCal->currentRow();
    if (row < 0 || !Tab->LBxLCal->currentItem()->isSelected())
        return;
    Run([this, row] { Calibration->SetPoint(row); });
}

void TCalibrationUi::BtnLClearClick()
{
    const int row = Tab->LBxLCal->currentRow();
    if (row < 0 || !Tab->LBxLCal->currentItem()->isSelected())
        return;
    Run([this, row] { Calibration->ClearPoint(row); });
}

void TCalibrationUi::ShowCalibrationInfo()
{
    Tab->ShowCalibrationInfo(*Window.Device);
}
