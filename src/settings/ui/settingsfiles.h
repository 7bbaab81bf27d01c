// The settings files of the desktop program: File > Save and File > Open on every tab but the Log
// tab (the open sends the file after its preview), and File > Compare with File.
#pragma once

#include "settings/settingssend.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class QAction;
class TSettingsUi;

class TSettingsFiles : public QObject
{
    Q_OBJECT
public:
    // Registers the settings branch of File > Open and Save with the window and adds
    // "Compare with File..." to the File menu.
    explicit TSettingsFiles(TSettingsUi &ui);

    static constexpr const char *Filter = "Settings (*.WSD *.wsd);;All Files (*)";

    void Save1Click();
    void Open1Click();
    void CompareWithFileClick();
    // File > Compare with Last Visit: the instrument against the settings kept at its last visit.
    void CompareWithLastVisitClick();
    // The request lines left by the preview, sent as the preview dialog's Send does.
    void SendPreviewed(const QList<QByteArray> &requests, bool includeCalibration);

    QAction *CompareWithFile1;
    QAction *CompareWithLastVisit1;
    // Asks for a file name (save: a new or existing file); empty on Cancel. Tests answer it.
    std::function<QString(bool save, const QString &title)> AskFileName;
    // How fast the transfer steps (20 ms; tests shorten it).
    int TransferStepMs = 20;

    // What became of the last send.
    TSettingsSendResult LastSend;

private:
    bool RunTransfer(TSettingsTransfer &transfer);
    void CompareWith(const QString &path);
    // Saves the instrument's settings into its journal folder before a send; false with why.
    bool TakeSnapshot(bool full, QString &path, QList<QByteArray> &lines, QString *why);
    TSettingsUi &Ui;
};
