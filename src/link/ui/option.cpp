// TfrmOptions (see option.h).
#include "link/ui/option.h"

#include "base/dmViewer.h"
#include "i18n/LumsLang.h"
#include "link/reporter.h"
#include "settings/menucache.h"
#include "settings/ui/NumEdit.h"

#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace
{

TNumEdit *TimeoutEdit(QWidget *parent, const char *name)
{
    auto *edit = new TNumEdit(parent);
    edit->setObjectName(name);
    edit->SeteditType(dtFloat);
    edit->MinReal = 0.5;
    edit->MaxReal = 20;
    edit->setMaximumWidth(80);
    return edit;
}

// Tenths of a second as the edit shows them: "2", "0.5", "7".
QString TicksText(int ticks)
{
    return QString::number(ticks / 10.0, 'g', 6);
}

} // namespace

TfrmOptions::TfrmOptions(TdatViewer &config, TReporter *reporter, QWidget *parent)
    : QDialog(parent), Config(config), Reporter(reporter)
{
    setObjectName("frmOptions");
    setWindowTitle("Options");

    auto *connection = new QGroupBox("Connection Options", this);
    connection->setObjectName("GBConnection");
    auto *grid = new QGridLayout(connection);
    edtSerialTimeout = TimeoutEdit(connection, "edtSerialTimeout");
    edtTCPTimeout = TimeoutEdit(connection, "edtTCPTimeout");
    auto row = [&](int r, const char *name, const QString &caption, TNumEdit *edit, const char *unitName) {
        auto *label = new QLabel(caption, connection);
        label->setObjectName(name);
        label->setBuddy(edit);
        auto *unit = new QLabel("seconds", connection);
        unit->setObjectName(unitName);
        grid->addWidget(label, r, 0);
        grid->addWidget(edit, r, 1);
        grid->addWidget(unit, r, 2);
    };
    row(0, "lblSerialTimeout", "Serial connection timeout", edtSerialTimeout, "lblSerialSeconds");
    row(1, "lblTCPTimeout", "TCP (ethernet) connection timeout", edtTCPTimeout, "lblTCPSeconds");
    cbAllowFastOptoLink =
        new QCheckBox("Allow fast optical link (does not work with all firmware versions)", connection);
    cbAllowFastOptoLink->setObjectName("cbAllowFastOptoLink");
    grid->addWidget(cbAllowFastOptoLink, 2, 0, 1, 3);

    auto *settings = new QGroupBox("Settings Options", this);
    settings->setObjectName("GBSettings");
    auto *settingsLayout = new QVBoxLayout(settings);
    auto *explain = new QLabel(
        "This can be used when it is neccesary to change the port settings for the port viewer is using.",
        settings);
    explain->setObjectName("lblSettingsExplain");
    explain->setWordWrap(true);
    cbAllowSaveBlock = new QCheckBox(
        "When changing settings, allow save/initialisation to be temporarily blocked by the user.", settings);
    cbAllowSaveBlock->setObjectName("cbAllowSaveBlock");
    settingsLayout->addWidget(explain);
    settingsLayout->addWidget(cbAllowSaveBlock);
    cbRememberMenus = new QCheckBox("Remember menu structures", settings);
    cbRememberMenus->setObjectName("cbRememberMenus");
    cbRememberMenus->setToolTip(
        LangText("TfrmOptions", "RememberMenusTip",
                 "Reads of a model and version read before ask only for the values and a check of each menu, "
                 "and settings files of that model can be edited without an instrument.") +
        "\n" +
        LangText("TfrmOptions", "RememberMenusKept", "Kept in %1; delete that folder to clear it.")
            .arg(QDir::toNativeSeparators(TMenuStructureCache::DefaultFolder())));
    settingsLayout->addWidget(cbRememberMenus);

    btnOK = new QPushButton("OK", this);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    btnCancel = new QPushButton("Cancel", this);
    btnCancel->setObjectName("btnCancel");
    // Cancel may be pressed while a time-out entry is invalid.
    btnCancel->setProperty(TNumEdit::TagProperty, edtSerialTimeout->CancelTag);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(connection);
    layout->addWidget(settings);
    layout->addLayout(buttons);

    connect(btnOK, &QPushButton::clicked, this, &TfrmOptions::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    // Leaving either time-out while it is out of range says so (once, see btnOKClick).
    for (TNumEdit *edit : {edtSerialTimeout, edtTCPTimeout})
        connect(edit, &TNumEdit::ExitError, this, [this] {
            if (Reporter)
                Reporter->Error(LangText("TfrmOptions", "Range", RangeMessage));
        });
}

void TfrmOptions::showEvent(QShowEvent *event)
{
    cbAllowSaveBlock->setChecked(Config.GetAllowSaveBlock());
    cbRememberMenus->setChecked(Config.GetRememberMenus());
    cbAllowFastOptoLink->setChecked(Config.GetFastOptoLink());
    edtSerialTimeout->setText(TicksText(Config.GetSerTimeout()));
    edtTCPTimeout->setText(TicksText(Config.GetTcpTimeout()));
    QDialog::showEvent(event);
}

void TfrmOptions::btnOKClick()
{
    // The edits hold the focus on a bad entry, but a click can still reach OK: never store a
    // time-out outside the range.
    double serial = 0, tcp = 0;
    for (TNumEdit *edit : {edtSerialTimeout, edtTCPTimeout}) {
        double v = 0;
        if (!TNumEdit::TextToFloat(edit->text(), &v) || v < 0.5 || v > 20) {
            // A mouse click on OK has just taken the focus from the entry, which says it itself.
            if (Reporter && !edit->ExitErrorPending())
                Reporter->Error(LangText("TfrmOptions", "Range", RangeMessage));
            edit->setFocus();
            return;
        }
        (edit == edtSerialTimeout ? serial : tcp) = v;
    }
    Config.SetAllowSaveBlock(cbAllowSaveBlock->isChecked());
    Config.SetRememberMenus(cbRememberMenus->isChecked());
    Config.SetFastOptoLink(cbAllowFastOptoLink->isChecked());
    Config.SetSerTimeout(static_cast<int>(std::lround(serial * 10)));
    Config.SetTcpTimeout(static_cast<int>(std::lround(tcp * 10)));
    accept();
}

void TfrmOptions::done(int result)
{
    Config.SetFirstRun(false);
    QDialog::done(result);
}
