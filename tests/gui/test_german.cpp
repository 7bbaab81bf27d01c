// The shipped language file: every key in English and German with the same placeholders, and a
// walk of every window and dialog in German against the simulated instrument that finds no text
// which is not one of the file's German texts (names, units and the instrument's words aside).
#include "german_walk.h"
#include "gui_support.h"

#include "calibration/ui/AbsCal.h"
#include "calibration/ui/CalibrationTab.h"
#include "datastore/ui/DataStoreTab.h"
#include "datastore/ui/Progress.h"
#include "i18n/ui/LumsLangComp.h"
#include "link/transact.h"
#include "link/ui/Debug.h"
#include "link/ui/comdialog.h"
#include "settings/ui/NewProductDLG.h"
#include "settings/ui/settingsfiles.h"
#include "settings/ui/settingstab.h"
#include "settings/ui/settingsui.h"
#include "shell/ui/main.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QShowEvent>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

namespace
{

const char *const Languages[] = {"English", "German"};

// The language of a key and the key without it ("BtnZeroGermanHint" -> "BtnZero", "Hint").
struct TKeyParts {
    QString Name, Language, Hint;
};
std::optional<TKeyParts> SplitKey(const QString &key)
{
    static const QRegularExpression form(QStringLiteral("^(.*?)(English|German)(Hint)?$"));
    // The connect button's hints carry "Hint" before the language (they are looked up by name).
    static const QRegularExpression byName(QStringLiteral("^(.*Hint)(English|German)$"));
    for (const auto &re : {byName, form}) {
        const auto m = re.match(key);
        if (m.hasMatch())
            return TKeyParts{m.captured(1), m.captured(2), m.captured(3)};
    }
    return std::nullopt;
}

QSet<QString> Placeholders(const QString &text)
{
    QSet<QString> found;
    static const QRegularExpression re(QStringLiteral("%\\d"));
    for (auto it = re.globalMatch(text); it.hasNext();)
        found.insert(it.next().captured());
    return found;
}

TEST(ShippedLanguageFile, EveryKeyHasBothLanguagesWithTheSamePlaceholders)
{
    const TIniFile file = ShippedLanguageFile();
    QMap<QString, QMap<QString, QString>> byKey; // section/name/hint -> language -> value
    QStringList problems;
    for (const TIniFile::TEntry &e : file.Entries()) {
        const QString key = QString::fromUtf8(e.Key);
        const auto parts = SplitKey(key);
        if (!parts) {
            problems << QString("[%1] %2: no language in the key").arg(QString::fromUtf8(e.Section), key);
            continue;
        }
        const QString id = QString::fromUtf8(e.Section) + "] " + parts->Name + "*" + parts->Hint;
        if (byKey[id].contains(parts->Language))
            problems << QString("[%1: %2 twice").arg(id, parts->Language);
        byKey[id][parts->Language] = QString::fromUtf8(e.Value);
    }
    for (auto it = byKey.cbegin(); it != byKey.cend(); ++it) {
        for (const char *language : Languages)
            if (it.value().value(language).trimmed().isEmpty())
                problems << QString("[%1: no %2 text").arg(it.key(), language);
        if (Placeholders(it.value().value("English")) != Placeholders(it.value().value("German")))
            problems << QString("[%1: the languages' placeholders differ").arg(it.key());
    }
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    EXPECT_GT(byKey.size(), 150);
}

TEST(LanguageTexts, ByNameInTheProgramLanguageElseBuiltIn)
{
    TProgramFolder folder(
        {}, false, "[Messages]\nSavedEnglish=Saved %1\nSavedGerman=%1 gespeichert\nGoneGerman=&$&$?\n");
    EXPECT_EQ(LangText("Messages", "Saved", "Saved %1"), "Saved %1"); // no program language yet
    {
        TLumsLanguageComp language(folder.File("brellin.lang"), {"English", "German"});
        language.Language().SetCurrentNumber(2);
        struct TCase {
            const char *Section, *Name, *BuiltIn, *Expected;
        };
        for (const TCase &c :
             {TCase{"Messages", "Saved", "Saved %1", "%1 gespeichert"},
              TCase{"messages", "saved", "Saved %1", "%1 gespeichert"}, // case does not matter
              TCase{"Messages", "Gone", "Gone", "Gone"},                // the absent marker
              TCase{"Messages", "Missing", "Missing", "Missing"},
              TCase{"Other", "Saved", "Saved %1", "Saved %1"}})
            EXPECT_EQ(LangText(c.Section, c.Name, c.BuiltIn), c.Expected) << c.Section << " " << c.Name;
        language.Language().SetCurrentNumber(1);
        EXPECT_EQ(LangText("Messages", "Saved", "x"), "Saved %1");
        // A file changed on disk is read again (its size tells, within one time stamp too).
        folder.Write("brellin.lang", "[Messages]\nSavedEnglish=Kept %1 again\n");
        EXPECT_EQ(LangText("Messages", "Saved", "x").arg(3), "Kept 3 again");
    }
    EXPECT_EQ(LangText("Messages", "Saved", "Saved %1"), "Saved %1"); // gone with its window
}

// The main window in German against vornsim, every dialog it shows walked as it is shown.
class GermanWindowTest : public SimWindowTest
{
protected:
    GermanWindowTest()
        : SimWindowTest("[About]\nViewerName=Brellin\n[Options]\nFirstRun=0\n[Connection]\nConnectionType=0\n"
                        "[Language]\nCurrentLang=2\n")
    {
        QFile::copy(QDir(QStringLiteral(BRELLIN_BIN_DIR)).filePath("brellin.lang"),
                    Folder.File("brellin.lang"));
    }
    void Start()
    {
        Sim = MakeSim();
        OpenWindow();
        W->Hooks.ExecModal = [this](QDialog *dialog) {
            // What a dialog does as it is shown (some take their words then), without a screen.
            QShowEvent shown;
            QCoreApplication::sendEvent(dialog, &shown);
            Walk.Check(dialog, dialog->metaObject()->className());
            Shown << dialog->metaObject()->className();
            return AnswerDialog(dialog);
        };
        W->show();
        QTest::qWait(20);
        ConnectTo(*Sim);
        ASSERT_TRUE(PumpUntil([&] { return W->StartSession->isEnabled(); }));
    }
    TGermanWalk Walk;
    QStringList Shown;
};

TEST_F(GermanWindowTest, EveryWindowAndDialogSpeaksGerman)
{
    // The judge itself: English texts fail, the file's German ones (filled in) and names pass.
    for (const char *english : {"Cancel", "S&tart Session", "Found 12 records", "Extract to CSV file",
                                "Connection lost: 127.0.0.1:2222"})
        EXPECT_FALSE(Walk.IsGerman(english)) << english;
    for (const char *german : {"Abbrechen", "Sitzung s&tarten", "12 Datensätze gefunden", "mV/V", "0.0000"})
        EXPECT_TRUE(Walk.IsGerman(QString::fromUtf8(german))) << german;
    Start();
    ASSERT_EQ(W->Language->Current(), 1);
    Walk.Check(W.get(), "Main window (connected)");
    StartSession(1, "5678");
    Walk.Check(W.get(), "Main window (session)");

    // The calibration tab and its value dialog in its three uses (each cancelled).
    W->PgCMain->setCurrentWidget(W->TSCalibration);
    auto *cal = W->findChild<TCalibrationUi *>();
    ASSERT_TRUE(cal);
    cal->Tab->CBxDirectMVV->setChecked(true);
    cal->Tab->BtnZero->click();
    cal->Tab->BTnSpan->click();
    cal->Tab->CBxDirectMVV->setChecked(false);
    cal->Tab->BTnSpan->click();
    cal->Tab->BtnLSet->click();
    EXPECT_EQ(Shown.count("TFrmAbsCal"), 4);

    // The settings tab with each editor page, the files and the compare window.
    auto *settings = W->findChild<TSettingsUi *>();
    ASSERT_TRUE(settings);
    W->PgCMain->setCurrentWidget(W->TSSettings);
    settings->Tab->tvMenuItems->setCurrentIndex(settings->Tab->tvMenuItems->model()->index(0, 0));
    settings->Tab->tvMenupopupExpandClick();
    for (int i = 0; i < 40; ++i) {
        QTest::keyClick(settings->Tab->tvMenuItems, Qt::Key_Down);
        Walk.Check(settings->Tab->pgcConfig->currentWidget(), "Settings editor");
    }
    const QString saved = Folder.File("walk.wsd");
    settings->Files->AskFileName = [&](bool, const QString &) { return saved; };
    W->Save1->trigger();
    ASSERT_TRUE(QFileInfo::exists(saved)) << Reporter.Errors.join('\n').toStdString();
    settings->Files->CompareWithFile1->trigger();
    EXPECT_TRUE(Shown.contains("TFrmCompare"));
    W->Open1->trigger(); // the preview, cancelled; the session starts again after it
    EXPECT_TRUE(Shown.contains("TFrmSendSettings"));

    // The data store before and after an upload, with its progress window.
    W->PgCMain->setCurrentWidget(W->TSDataStore);
    Walk.Check(W->TSDataStore, "Data Store tab (listed)");
    W->DataStoreTab->DsdUploadOrRefreshClick();
    Walk.Check(W->TSDataStore, "Data Store tab (uploaded)");
    Walk.Check(W->DataStoreTab->Progress, "Progress window");

    // The log tab, its start dialog and the chart setup.
    W->PgCMain->setCurrentWidget(W->TSLog);
    W->findChild<QPushButton *>("BtnStart")->click();
    EXPECT_TRUE(Shown.contains("TFrmLogDialog"));
    W->ChartSetup->trigger();
    EXPECT_TRUE(Shown.contains("TFrmChartSetup"));

    // The Instrument and Help menus' windows.
    W->SetDateTime1->trigger();
    W->AllocationReport1->trigger();
    W->findChild<QAction *>("FactoryTestResults1")->trigger();
    W->About1->trigger();
    W->menuOptions->trigger();
    W->ChangeJournal1->trigger(); // the session's and the save's events are in it
    for (const char *dialog : {"TFrmSetClock", "TFrmAllocationReport", "TFrmFactory", "TfrmAbout",
                               "TfrmOptions", "TJournalWindow"})
        EXPECT_TRUE(Shown.contains(dialog)) << dialog;
    W->muHelp->trigger();
    W->FrmDebug->show();
    Walk.Check(W.get(), "Main window (every window made)");
    for (QWidget *window : W->findChildren<QWidget *>())
        if (window->isWindow() && window->isVisible())
            Walk.Check(window, window->metaObject()->className());

    // The dialogs the window opens without a hook: connection settings (with the demo offered) and
    // the product name.
    TFrmComDialog com(*Config, W->Language.get(), nullptr, W.get());
    com.LoadFromConfig();
    com.OfferDemo(2222);
    W->Language->ApplyLanguage(&com);
    Walk.Check(&com, "TFrmComDialog");
    TFrmNewProduct product(W.get());
    W->Language->ApplyLanguage(&product);
    Walk.Check(&product, "TFrmNewProduct");
    product.SetRenaming("PRODUCT 1");
    Walk.Check(&product, "TFrmNewProduct (rename)");

    EXPECT_TRUE(Walk.English.isEmpty())
        << "Texts that are not the language file's German (give the widget an object name and keys "
           "<name>English and <name>German in its window's section of assets/files/brellin.lang, or look "
           "a text the program sets up by name with LangText):\n"
        << Walk.English.join('\n').toStdString();
    EXPECT_GT(Walk.Checked, 300);
}

} // namespace
