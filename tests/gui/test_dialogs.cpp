// The connection dialog's effective values and visibility rules (the demo's instrument offered
// while the demo runs), the options dialog's time-outs, and the language file applied to windows.
#include "gui_support.h"

#include "base/dmViewer.h"
#include "calibration/ui/AbsCal.h"
#include "i18n/ui/LumsLangComp.h"
#include "link/IOIface.h"
#include "link/transact.h"
#include "link/ui/comdialog.h"
#include "link/ui/option.h"
#include "link/ui/radiogroup.h"
#include "logging/ui/ChartSetup.h"
#include "logging/ui/logdialog.h"
#include "settings/ui/NewProductDLG.h"
#include "settings/ui/NumEdit.h"
#include "settings/ui/SendSettings.h"
#include "settings/ui/passcode.h"
#include "settings/ui/readsettings.h"
#include "settings/ui/setclock.h"
#include "shell/ui/demo.h"
#include "shell/ui/main.h"
#include "shell/ui/startup.h"
#include "shell/ui/uireporter.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

namespace
{

class ComDialogTest : public ::testing::Test
{
protected:
    std::unique_ptr<TFrmComDialog> Open(const QByteArray &ini)
    {
        Folder.Write("brellin.ini", ini);
        Config = std::make_unique<TdatViewer>(Folder.Ini());
        auto d = std::make_unique<TFrmComDialog>(*Config, nullptr, &Reporter);
        d->LoadFromConfig();
        d->show();
        return d;
    }
    TProgramFolder Folder;
    std::unique_ptr<TdatViewer> Config;
    TRecordingReporter Reporter;
};

TEST_F(ComDialogTest, OpticalLinksFixTheHiddenSettings)
{
    auto d = Open("[Connection]\nSerialPort=/dev/pts/77\nBaudRate=19200\nDataBits=7\nStopBits=2\n"
                  "ParityBits=2\nSerialAddress=5\nSerialCable=0\n[Options]\nFastOptoLink=1\n");
    EXPECT_EQ(d->CBPort->currentText(), "/dev/pts/77");
    EXPECT_TRUE(d->RGBaud->isVisible());
    // Both optical cables: 9600 8N1 to address 0, whatever the hidden groups show.
    for (int cable : {1, 2}) {
        d->RGPhysical->SetItemIndex(cable);
        EXPECT_FALSE(d->RGBaud->isVisible());
        EXPECT_FALSE(d->GBUnitAddress->isVisible());
        EXPECT_EQ(d->lblFastOptoLinkWarning->isVisible(), cable == 2);
        const auto s = d->Effective();
        ASSERT_TRUE(s);
        EXPECT_EQ(s->PortName, "/dev/pts/77");
        EXPECT_EQ(s->BaudRate, 9600);
        EXPECT_EQ(s->DataBits, 8);
        EXPECT_EQ(s->StopBits, 1);
        EXPECT_EQ(s->Parity, 0);
        EXPECT_EQ(s->UnitAddress, 0);
        EXPECT_EQ(s->Cable, cable);
        d->StoreToConfig(*s);
        EXPECT_EQ(Config->GetBaudRate(), 9600);
        EXPECT_EQ(Config->GetSerialAddress(), 0);
    }

    // Back on RS232 the chosen values count again.
    d->RGPhysical->SetItemIndex(0);
    d->RGBaud->SetItemIndex(d->RGBaud->IndexOf("19200"));
    d->CBAddress->setCurrentIndex(5);
    EXPECT_EQ(d->Effective()->BaudRate, 19200);
    EXPECT_EQ(d->Effective()->UnitAddress, 5);
}

TEST_F(ComDialogTest, WithoutTheFastOptionAStoredFastCableBecomesOpticalLink)
{
    auto d = Open("[Connection]\nSerialCable=2\n[Options]\nFastOptoLink=0\n");
    EXPECT_EQ(d->RGPhysical->Count(), 2);
    EXPECT_EQ(d->RGPhysical->ItemIndex(), 1);
    EXPECT_EQ(d->Effective()->Cable, 1);

    auto fast = Open("[Connection]\nSerialCable=2\n[Options]\nFastOptoLink=1\n");
    EXPECT_EQ(fast->RGPhysical->Count(), 3);
    EXPECT_TRUE(fast->lblFastOptoLinkWarning->isVisible());
    EXPECT_EQ(fast->lblFastOptoLinkWarning->text(), "\"Fast Optical Link\" does not work\nwith all firmware "
                                                    "versions.\n\nIf problems occur, use \"Optical Link\".");
    EXPECT_EQ(fast->Effective()->Cable, 2);
}

TEST_F(ComDialogTest, OnlyASerialConnectionStoresTheSerialPortShown)
{
    // No port stored: the dialog offers one this system has; a TCP connection stores none of it,
    // a serial one stores the port the user accepted.
    auto d = Open("[Connection]\nConnectionType=1\nTcpHostname=127.0.0.1\nTcpPort=2222\n");
    EXPECT_NE(d->CBPort->currentText(), "COM1");
    for (int type : {1, 0}) {
        d->RGConnection->SetItemIndex(type);
        const auto settings = d->Effective();
        ASSERT_TRUE(settings);
        d->StoreToConfig(*settings);
        ASSERT_TRUE(Config->Save());
        QFile ini(Folder.Ini());
        ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
        EXPECT_EQ(ini.readAll().contains("SerialPort="), type == 0) << type;
        if (type == 0) {
            EXPECT_EQ(TdatViewer(Folder.Ini()).GetSerialPort(), settings->PortName);
        }
    }
}

TEST_F(ComDialogTest, UnlistedValuesAreNeverUsed)
{
    auto d = Open("[Connection]\nBaudRate=300\nDataBits=6\n");
    EXPECT_EQ(d->RGBaud->ItemIndex(), -1);
    EXPECT_EQ(d->RGData->ItemIndex(), -1);
    QString why;
    EXPECT_FALSE(d->Effective(&why));
    EXPECT_EQ(why, "Please choose a Baud rate.");
    d->BtnOk->click();
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(Reporter.Errors, QStringList{"Please choose a Baud rate."});
    // The optical link does not need them.
    d->RGPhysical->SetItemIndex(1);
    EXPECT_TRUE(d->Effective());
}

TEST_F(ComDialogTest, TcpBuildsASocketTransportFromTheEdits)
{
    auto d = Open("[Connection]\nConnectionType=1\nTcpHostname=127.0.0.1\nTcpPort=0x8AE\n");
    EXPECT_TRUE(d->GBTcp->isVisible());
    EXPECT_FALSE(d->GBSerial->isVisible());
    EXPECT_TRUE(d->GBUnitAddress->isVisible());
    EXPECT_EQ(d->EdtTcpPort->text(), "2222");
    d->EdtTcpPort->setText("22x");
    QString why;
    EXPECT_FALSE(d->Effective(&why));
    EXPECT_EQ(why, "'22x' is not a valid integer value");
    d->EdtTcpPort->setText("2301");
    const auto s = d->Effective();
    ASSERT_TRUE(s);
    auto link = TFrmComDialog::BuildTransport(*s);
    auto *socket = dynamic_cast<TIOIfaceSocket *>(link.get());
    ASSERT_TRUE(socket);
    EXPECT_EQ(socket->Host(), "127.0.0.1");
    EXPECT_TRUE(socket->HostIsAddress());
    EXPECT_EQ(socket->Port(), 2301);
    EXPECT_FALSE(socket->IsOpen());
}

// Answers the next modal connection dialog with `act` once it is up.
void AnswerComDialog(std::function<void(TFrmComDialog *)> act)
{
    auto *poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
        if (auto *d = qobject_cast<TFrmComDialog *>(QApplication::activeModalWidget())) {
            poll->deleteLater();
            poll->stop();
            act(d);
        }
    });
    poll->start(5);
}

TEST(ComDialogInDemoTest, TheDemoInstrumentIsOfferedAndItsPortNeverStored)
{
    TProgramFolder folder("[Options]\nFirstRun=0\n[Connection]\nConnectionType=1\nTcpHostname=10.1.2.3\n"
                          "TcpPort=2301\n");
    TdatViewer config(folder.Ini());
    TRecordingReporter reporter;
    auto w = CreateMainWindow(config, ParseCommandLine({"--demo"}), &reporter);
    ASSERT_TRUE(w);
    QString error;
    ASSERT_TRUE(w->StartDemo(&error)) << error.toStdString();
    w->show();
    ASSERT_TRUE(PumpUntil([&] { return w->Engine->LinkOpen(); }));
    const int port = w->DemoInstrument()->Port();
    auto connectedPort = [&] {
        auto *socket = dynamic_cast<TIOIfaceSocket *>(w->Engine->Link());
        return socket && w->Engine->LinkOpen() ? socket->Port() : -1;
    };
    auto unchanged = [&] {
        EXPECT_EQ(config.GetConnectionType(), 1);
        EXPECT_EQ(config.GetTcpHostname(), "10.1.2.3");
        EXPECT_EQ(config.GetTcpPort(), 2301);
    };

    // After Disconnect the dialog offers the demo's instrument, chosen already.
    w->Connect2Click();
    ASSERT_TRUE(PumpUntil([&] { return !w->Engine->LinkOpen(); }));
    AnswerComDialog([&](TFrmComDialog *d) {
        auto *demo = d->findChild<QRadioButton *>("RGConnection2");
        auto *group = d->findChild<QGroupBox *>("GBDemo");
        auto *words = d->findChild<QLabel *>("lblDemo");
        if (!demo || !group || !words) {
            ADD_FAILURE() << "the dialog does not offer the demo instrument";
            d->reject();
            return;
        }
        EXPECT_EQ(demo->text(), "Demo instrument");
        EXPECT_TRUE(demo->isChecked());
        EXPECT_TRUE(group->isVisible());
        EXPECT_TRUE(words->text().contains(QString::number(port))) << words->text().toStdString();
        EXPECT_FALSE(d->GBTcp->isVisible());
        EXPECT_FALSE(d->GBSerial->isVisible());
        EXPECT_FALSE(d->GBUnitAddress->isVisible());
        // The ini's host is a private address: Ok only when the demo's own instrument is chosen.
        if (!demo->isChecked()) {
            d->reject();
            return;
        }
        d->BtnOk->click();
    });
    w->Connect2Click();
    ASSERT_TRUE(PumpUntil([&] { return connectedPort() == port; }));
    unchanged();

    // The same instrument typed by hand (by name or by address) is the demo's too.
    for (const char *host : {"127.0.0.1", "localhost"}) {
        w->Connect2Click();
        ASSERT_TRUE(PumpUntil([&] { return !w->Engine->LinkOpen(); }));
        AnswerComDialog([&](TFrmComDialog *d) {
            d->RGConnection->SetItemIndex(1);
            EXPECT_TRUE(d->GBTcp->isVisible());
            EXPECT_FALSE(d->findChild<QGroupBox *>("GBDemo")->isVisible());
            d->EdtIndHostname->setText(host);
            d->EdtTcpPort->setText(QString::number(port));
            d->BtnOk->click();
        });
        w->Connect2Click();
        ASSERT_TRUE(PumpUntil([&] { return connectedPort() == port; })) << host;
        unchanged();
    }
    // (The test folder's picture is no picture: only the link's messages matter here.)
    EXPECT_TRUE(reporter.Errors.filter("onnect").isEmpty()) << reporter.Errors.join("; ").toStdString();

    // Any other instrument is stored as ever (port 1 on loopback: nothing listens there).
    w->Connect2Click();
    ASSERT_TRUE(PumpUntil([&] { return !w->Engine->LinkOpen(); }));
    AnswerComDialog([&](TFrmComDialog *d) {
        d->RGConnection->SetItemIndex(1);
        d->EdtIndHostname->setText("127.0.0.1");
        d->EdtTcpPort->setText("1");
        d->BtnOk->click();
    });
    w->Connect2Click();
    EXPECT_EQ(config.GetTcpHostname(), "127.0.0.1");
    EXPECT_EQ(config.GetTcpPort(), 1);
}

TEST(SerialOpenAdviceTest, NamesTheReasonAUserCanActOn)
{
    EXPECT_TRUE(SerialOpenAdvice("/dev/does-not-exist-42", "No such file").contains("does not exist"));
    // A device we may use that still did not open: another program holds it.
    EXPECT_TRUE(SerialOpenAdvice("/dev/null", "Device busy").contains("busy"));
}

class OptionsTest : public ::testing::Test
{
protected:
    OptionsTest() : Config(Folder.Ini()), Options(Config, &Reporter)
    {
        Options.show();
        QApplication::setActiveWindow(&Options);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&Options));
    }
    TProgramFolder Folder{"[Options]\nFirstRun=1\n"};
    TdatViewer Config;
    TRecordingReporter Reporter;
    TfrmOptions Options;
};

TEST_F(OptionsTest, TimeoutsAreStoredInTenthsAndOutOfRangeIsRefused)
{
    EXPECT_EQ(Options.edtSerialTimeout->text(), "2");
    EXPECT_EQ(Options.edtTCPTimeout->text(), "7");
    Options.edtSerialTimeout->setFocus();
    EXPECT_EVENTUALLY(Options.edtSerialTimeout->hasFocus());
    Options.edtSerialTimeout->setText("0.45");
    Options.cbAllowSaveBlock->setFocus();
    EXPECT_EVENTUALLY_EQ(Reporter.Errors, QStringList{"The number must be within the range 0.5s to 20s"});
    EXPECT_TRUE(Options.edtSerialTimeout->hasFocus());
    Options.btnOK->click(); // a click can reach OK all the same: still nothing stored
    EXPECT_EQ(Reporter.Errors.size(), 2);
    EXPECT_TRUE(Options.isVisible());
    EXPECT_EQ(Config.GetSerTimeout(), 20);

    Options.edtSerialTimeout->setText("3.0");
    Options.edtTCPTimeout->setText("0.55");
    Options.cbAllowSaveBlock->setChecked(true);
    Options.btnOK->click();
    EXPECT_FALSE(Options.isVisible());
    EXPECT_EQ(Config.GetSerTimeout(), 30);
    EXPECT_EQ(Config.GetTcpTimeout(), 6); // 5.5 tenths, rounded
    EXPECT_TRUE(Config.GetAllowSaveBlock());
    EXPECT_FALSE(Config.GetFirstRun());
}

TEST_F(OptionsTest, OkClickedWithAnOutOfRangeTimeoutSaysSoOnce)
{
    // The click takes the focus from the entry first, which checks the entry on its own.
    for (TNumEdit *edit : {Options.edtSerialTimeout, Options.edtTCPTimeout}) {
        const std::string name = edit->objectName().toStdString();
        Reporter.Errors.clear();
        edit->setFocus();
        ASSERT_TRUE(PumpUntil([&] { return edit->hasFocus(); })) << name;
        edit->setText("25");
        QTest::mouseClick(Options.btnOK, Qt::LeftButton);
        EXPECT_TRUE(PumpUntil([&] { return edit->hasFocus() && !edit->ExitErrorPending(); })) << name;
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        EXPECT_EQ(Reporter.Errors.join(" / ").toStdString(), TfrmOptions::RangeMessage) << name;
        EXPECT_TRUE(Options.isVisible()) << name;
        edit->setText("2");
    }
    EXPECT_EQ(Config.GetSerTimeout(), 20);
    EXPECT_EQ(Config.GetTcpTimeout(), 70);
}

TEST_F(OptionsTest, CancelStoresNothingButClearsTheFirstRun)
{
    Options.edtSerialTimeout->setText("9");
    Options.edtSerialTimeout->setText("9");
    Options.cbAllowFastOptoLink->setChecked(true);
    Options.btnCancel->click();
    EXPECT_EQ(Config.GetSerTimeout(), 20);
    EXPECT_FALSE(Config.GetFastOptoLink());
    EXPECT_FALSE(Config.GetFirstRun());
    EXPECT_TRUE(Reporter.Errors.isEmpty());
}

// Escape is Cancel in every dialog that has one, wherever the focus is inside it, with an entry
// (valid or not) being typed: the dialog closes and nothing is stored.
TEST(EscapeTest, EscapeCancelsEveryDialogFromEveryFieldInIt)
{
    TProgramFolder folder{"[Options]\nFirstRun=0\n[Connection]\nConnectionType=1\n"};
    TdatViewer config(folder.Ini());
    TRecordingReporter reporter;
    TLogModel log;
    std::vector<std::function<std::unique_ptr<QDialog>()>> makers = {
        [&] { return std::make_unique<TfrmOptions>(config, &reporter); },
        [&] {
            auto d = std::make_unique<TFrmComDialog>(config, nullptr, &reporter);
            d->LoadFromConfig();
            return d;
        },
        [&] {
            auto d = std::make_unique<TFrmComDialog>(config, nullptr, &reporter);
            d->RGConnection->SetItemIndex(0); // the serial fields
            return d;
        },
        [] { return std::make_unique<TFrmLogDialog>(); },
        [&] { return std::make_unique<TFrmChartSetup>(log, &reporter); },
        [] { return std::make_unique<TFrmNewProduct>(); },
        [] { return std::make_unique<TFrmPasscode>("Enter Passcode"); },
        [] { return std::make_unique<TFrmReadSettings>(); },
        [] { return std::make_unique<TFrmSetClock>(); },
        [] { return std::make_unique<TFrmSendSettings>(); },
        [&] {
            auto d = std::make_unique<TFrmAbsCal>(&reporter);
            d->Setup({TCalUse::DirectSpan, "1.0", "100", "kg"});
            return d;
        },
    };
    for (const auto &make : makers) {
        std::unique_ptr<QDialog> probe = make();
        probe->show();
        const QString dialog = probe->metaObject()->className();
        QList<QWidget *> fields;
        for (QWidget *w : probe->findChildren<QWidget *>())
            if (w->isVisible() && w->isEnabled() && w->focusPolicy() != Qt::NoFocus && !w->focusProxy())
                fields << w;
        ASSERT_FALSE(fields.isEmpty()) << dialog.toStdString();
        for (int i = 0; i < fields.size(); ++i) {
            std::unique_ptr<QDialog> d = make();
            d->show();
            QApplication::setActiveWindow(d.get());
            ASSERT_TRUE(QTest::qWaitForWindowActive(d.get()));
            QWidget *field =
                d->findChildren<QWidget *>().value(probe->findChildren<QWidget *>().indexOf(fields[i]));
            ASSERT_TRUE(field);
            const std::string where =
                (dialog + " / " + field->metaObject()->className() + " " + field->objectName()).toStdString();
            field->setFocus();
            if (qobject_cast<QLineEdit *>(field))
                QTest::keyClicks(field, i % 2 ? "9" : "99");
            QTest::keyClick(field, Qt::Key_Escape);
            EXPECT_FALSE(d->isVisible()) << where;
            EXPECT_EQ(d->result(), QDialog::Rejected) << where;
        }
    }
    EXPECT_TRUE(reporter.Errors.isEmpty()) << reporter.Errors.join('\n').toStdString();
    EXPECT_EQ(config.GetSerTimeout(), 20);
    EXPECT_EQ(config.GetTcpTimeout(), 70);
    EXPECT_EQ(config.GetTcpPort(), 2222);
}

class LanguageTest : public ::testing::Test
{
protected:
    std::unique_ptr<TFrmMain> Start(const QByteArray &ini, const QByteArray &lang)
    {
        Folder.Write("brellin.ini", ini);
        if (!lang.isNull())
            Folder.Write("brellin.lang", lang);
        Config = std::make_unique<TdatViewer>(Folder.Ini());
        return CreateMainWindow(*Config, {}, &Reporter);
    }
    int TabIndex(TFrmMain &w, QWidget *page) { return w.PgCMain->indexOf(page); }
    TProgramFolder Folder;
    std::unique_ptr<TdatViewer> Config;
    TRecordingReporter Reporter;
};

TEST_F(LanguageTest, AFileWithSomeKeysTranslatesOnlyThoseAndEnglishDoesNotRestoreThem)
{
    auto w = Start("[Options]\nFirstRun=0\n",
                   "[tfrmmain]\nTSLogGerman = \"Protokoll\"\nConnect2German=&Verbinden\nTSTestGerman=&$&$?\n"
                   "TSLogGermanHint=Gewichtsverlauf\nTFrmMainGerman=Brellin (Deutsch)\n"
                   "[TFrmComDialog]\nTSDisplayGerman=Not this window's\n");
    ASSERT_TRUE(w);
    w->show();
    QTest::qWait(10);
    EXPECT_TRUE(w->tbLang->isVisible());
    w->tbLang->trigger();
    EXPECT_EQ(Config->GetCurrentLang(), 2);
    EXPECT_EQ(w->PgCMain->tabText(TabIndex(*w, w->TSLog)), "Protokoll");
    EXPECT_EQ(w->PgCMain->tabToolTip(TabIndex(*w, w->TSLog)), "Gewichtsverlauf");
    EXPECT_EQ(w->PgCMain->tabText(TabIndex(*w, w->TSTest)), "Test");
    EXPECT_EQ(w->PgCMain->tabText(TabIndex(*w, w->TSDisplay)), "Display");
    EXPECT_EQ(w->windowTitle(), "Brellin (Deutsch)");
    // The file has no connect-button words: the built-in ones stay.
    EXPECT_EQ(w->ToolButton4->text(), "&Connect");
    w->tbLang->trigger();
    EXPECT_EQ(Config->GetCurrentLang(), 1);
    EXPECT_EQ(w->PgCMain->tabText(TabIndex(*w, w->TSLog)), "Protokoll");
}

TEST_F(LanguageTest, AnUnknownLanguageNumberMeansEnglishAndTheButtonThenPicksEnglish)
{
    auto w = Start("[Language]\nCurrentLang=5\n[Options]\nFirstRun=0\n",
                   "[TFrmMain]\nTSLogEnglish=Log (en)\nTSLogGerman=Protokoll\n"
                   "ToolButton4DCGerman=&Verbinden\nToolButton4DCEnglish=&Connect (en)\n");
    ASSERT_TRUE(w);
    EXPECT_EQ(w->Language->Current(), 0);
    EXPECT_EQ(w->PgCMain->tabText(TabIndex(*w, w->TSLog)), "Log (en)");
    w->tbLang->trigger();
    EXPECT_EQ(Config->GetCurrentLang(), 1); // from 5 the button goes to 1
    EXPECT_EQ(w->ToolButton4->text(), "&Connect (en)");
    EXPECT_EQ(w->Language->GetText(w.get(), "ToolButton4DC", 2), "&Verbinden");
    EXPECT_EQ(w->Language->GetText(w.get(), "Missing", 2), "");
}

TEST_F(LanguageTest, WithoutAFileTheButtonIsHiddenAndNothingChanges)
{
    auto w = Start("[Language]\nCurrentLang=2\n[Options]\nFirstRun=0\n", QByteArray());
    ASSERT_TRUE(w);
    w->show();
    QTest::qWait(10);
    EXPECT_FALSE(w->tbLang->isVisible());
    EXPECT_FALSE(w->Language->ApplyLanguage(w.get()));
    EXPECT_EQ(w->PgCMain->tabText(TabIndex(*w, w->TSLog)), "Log");
    EXPECT_EQ(w->ToolButton4->text(), "&Connect");
}

TEST_F(LanguageTest, DialogsTranslateThemselvesWhenShownAndLongTextsAreCut)
{
    Folder.Write("brellin.lang",
                 "[TFrmComDialog]\nTFrmComDialogGerman=Verbindung\nGBTcpGerman=TCP-Einstellungen\n"
                 "EdtIndHostnameGerman=host.example\nBtnOkGerman=" +
                     QByteArray(250, 'x') + "\n");
    TdatViewer config(Folder.Ini());
    TLumsLanguageComp language(Folder.File("brellin.lang"), {"English", "German"});
    language.Language().SetCurrentNumber(2);
    TFrmComDialog d(config, &language, nullptr);
    d.LoadFromConfig();
    d.show();
    EXPECT_EQ(d.windowTitle(), "Verbindung");
    EXPECT_EQ(d.GBTcp->property("title").toString(), "TCP-Einstellungen");
    EXPECT_EQ(d.EdtIndHostname->text(), "host.example"); // an edit's contents, over what was filled in
    EXPECT_EQ(d.BtnOk->text().size(), TLumsLanguageComp::MaxTextLength);
}

} // namespace

TEST(NotRespondingBox, OneBoxAtATimeThatHoldsNothingUp)
{
    QWidget parent;
    parent.show();
    TMessageBoxReporter reporter(&parent);
    auto boxes = [&] {
        QList<QMessageBox *> shown;
        for (QMessageBox *b : parent.findChildren<QMessageBox *>("NotRespondingBox"))
            if (b->isVisible())
                shown << b;
        return shown;
    };
    // The call returns at once (a modal box would not), and a second silence adds no box.
    reporter.NotResponding("Instrument not responding");
    reporter.NotResponding("Instrument not responding");
    ASSERT_EQ(boxes().size(), 1);
    EXPECT_EQ(boxes().first()->text(), "Instrument not responding");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // Once it was closed, the next silence shows one again.
    boxes().first()->close();
    QApplication::processEvents();
    EXPECT_TRUE(PumpUntil([&] { return boxes().isEmpty(); }));
    reporter.NotResponding("Instrument not responding");
    EXPECT_EQ(boxes().size(), 1);
    boxes().first()->close();
}
