// Helpers of the widget tests: a program folder with its data files, a scripted instrument on a
// fake link, and the main window's fixture against simulated instruments.
#pragma once

#include "base/dmViewer.h"
#include "fake_link.h"
#include "shell/ui/main.h"
#include "shell/ui/startup.h"
#include "vornsim.h"

#include <QByteArray>
#include <QMap>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

// A temporary program folder: brellin.ini, panel.jpg and, if given, brellin.lang.
struct TProgramFolder {
    explicit TProgramFolder(const QByteArray &ini = DefaultIni, bool picture = true,
                            const QByteArray &lang = {});
    QString Ini() const { return Dir.filePath("brellin.ini"); }
    QString File(const QString &name) const { return Dir.filePath(name); }
    void Write(const QString &name, const QByteArray &text) const;
    // The shipped panel picture and segment masks beside the program, so that the front panel lights.
    void CopyShippedPanel() const;

    static constexpr const char *DefaultIni = "[About]\nViewerName=Brellin\n[Options]\nFirstRun=0\n";
    QTemporaryDir Dir;
};

// Answers register reads from a table, as an instrument at the other end of a fake link would;
// requests for registers not in the table get no answer.
class TScriptedInstrument
{
public:
    explicit TScriptedInstrument(TFakeLink *link);
    QMap<int, QByteArray> Registers;
    int Requests = 0;

private:
    TFakeLink *Link;
};

// The main window over a temporary program folder, talking to simulated instruments on loopback.
// The session dialogs are answered from the fields: the menu dialog with Entry and ReadEntire (or
// Cancel with CancelMenu), the passcode dialog with the next of Passcodes (Cancel when none is
// left); any other dialog goes to OnDialog (Cancel without it).
class SimWindowTest : public ::testing::Test
{
protected:
    static constexpr const char *SessionIni = "[Options]\nFirstRun=0\n[Connection]\nConnectionType=0\n";
    static constexpr const char *ReadAllIni =
        "[Options]\nFirstRun=0\nReadAllSettings=1\n[Connection]\nConnectionType=0\n";
    explicit SimWindowTest(const QByteArray &ini = SessionIni) : Folder(ini) {}

    // Opens the main window over the folder, ticking every 5 ms, its dialogs answered by AnswerDialog.
    void OpenWindow();
    // A simulated instrument with Cfg on a free loopback port (the test fails when it cannot start).
    std::unique_ptr<TVornSim> MakeSim() const;
    // Connects the window to sim over TCP and waits for the link to open.
    void ConnectTo(const TVornSim &sim);
    int AnswerDialog(QDialog *dialog);
    // Starts a session on a menu entry (0 safe, 1 full) with its passcode; fails the test unless it runs.
    void StartSession(int entry, const QString &passcode);
    // The simulated instrument with a serial number of this test process's own (JournalSerial), whose
    // change journal in the shared store folder starts empty and is removed with the test
    // (JournalFolder): tests that run at the same time never share a journal.
    void MakeSimWithOwnJournal();
    // The compare window, when it shows, gives its differences ("ITEM|instrument|file") and its
    // summary, and is closed.
    void ReadCompareWindow(QStringList &leaves, QString &summary);
    ~SimWindowTest() override;
    QString JournalFolder;
    QByteArray JournalSerial;

    TProgramFolder Folder;
    TVornSimConfig Cfg;
    std::unique_ptr<TVornSim> Sim;
    std::unique_ptr<TdatViewer> Config;
    TRecordingReporter Reporter;
    std::unique_ptr<TFrmMain> W;
    int Entry = 0;
    bool ReadEntire = false;
    bool CancelMenu = false;
    int SessionDialogs = 0;                      // menu dialogs shown
    QStringList Passcodes, Prompts, MenuChoices; // Prompts: the passcode dialogs' captions
    std::function<int(QDialog *)> OnDialog;
};
