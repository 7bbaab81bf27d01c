// A settings file shown and edited in the Settings tab without an instrument (File > Open while no
// link is open), from the menu structure remembered for the file's model.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class TMenuStructureCache;
class TOfflineSettings;
class TSettingsUi;

class TOfflineView : public QObject
{
    Q_OBJECT
public:
    explicit TOfflineView(TSettingsUi &ui);
    ~TOfflineView() override;

    // True when the file is shown for editing; false, with the reason told the user, when it is not
    // (no structure of its model is kept, or it would not be written back as it is).
    bool Open(const QString &path, const QList<QByteArray> &lines);
    // Gives the tab and the catalogue back to the instrument (a link opened, a session starts).
    void Close();
    bool IsOpen() const { return Offline != nullptr; }
    TOfflineSettings *Settings() const { return Offline.get(); }
    QString Path;
    QString SavedTitle;

private:
    TSettingsUi &Ui;
    std::unique_ptr<TOfflineSettings> Offline;
    TMenuStructureCache *SavedCache = nullptr;
    std::function<bool()> SavedSaveAfterEdit;
};
