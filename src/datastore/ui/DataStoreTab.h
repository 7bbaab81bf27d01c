// TDataStoreTab: the Data Store tab's widgets over TDsdDataStore: the stored instruments, the
// upload, the selection controls, the record window and the extractions.
#pragma once

#include "datastore/datastore.h"

#include <QWidget>
#include <functional>

class QComboBox;
class QDateEdit;
class QPrinter;
class QLineEdit;
class QPushButton;
class QTextEdit;
class QTimeEdit;
class QToolButton;
class TDevice;
class TFrmProgress;
class TRadioGroup;
class TReporter;
class TTransactionEngine;
class TdatViewer;

class TDataStoreTab : public QWidget
{
    Q_OBJECT
public:
    TDataStoreTab(TTransactionEngine *engine, TReporter *reporter, TdatViewer *config,
                  QWidget *parent = nullptr);

    // The instrument the upload talks to (the main window makes it after the tabs).
    TDevice *Device = nullptr;
    bool ScrambleLines = true;
    bool DebugMode = false;
    uint32_t MaxStoreFileSize = DefaultMaxStoreFileSize;
    // The third status-bar panel (red: tamper warning). An empty text takes back StatusShown.
    std::function<void(const QString &text, bool red)> OnStatusText;
    // The last text this tab gave OnStatusText.
    QString StatusShown;
    // The CSV save dialog: a chosen path, or empty when cancelled.
    std::function<QString(const QString &dir, const QString &fileName)> AskSaveFile;
    // The print dialog: false when cancelled.
    std::function<bool(QPrinter &printer)> AskPrinter;
    void SetLog(const std::function<void(const QString &)> &log);

    // The tab was shown: the list of stored instruments again, and the store to look at loaded
    // when it is plain which (see ChooseStore). A store the user is browsing stays as it is
    // while the list has not changed.
    void DsdTabPopup();
    void DsdIsnChange(int index);
    void DsdUploadOrRefreshClick();
    void DsdViewClick();
    void DsdScrollBitBtnClick(TDsdScrollButton button);
    void DsdExtractCsvBitBtnClick();
    void DsdExtractPrintBitBtnClick();
    // Reads the identification; reports "Unknown Instrument Communications" when the instrument
    // does not speak this protocol.
    bool CheckInstrumentKnown();
    // With no store chosen, the record window says what to do (again after a change of language).
    void ShowHint();

    TDsdDataStore Store;
    TFrmProgress *Progress;

    QComboBox *DsdIsn;
    QLineEdit *DsdOldestUploadedRec, *DsdNewestUploadedRec;
    QPushButton *DsdUploadOrRefresh;
    TRadioGroup *DsdRecordRadioFromTo;
    QLineEdit *DsdFrom, *DsdTo;
    QDateEdit *DsdDateFrom, *DsdDateTo;
    QTimeEdit *DsdTimeFrom, *DsdTimeTo;
    QPushButton *DsdView;
    QToolButton *DsdScrollOldestBitBtn, *DsdScrollPrevBitBtn, *DsdScrollNextBitBtn, *DsdScrollNewestBitBtn;
    QTextEdit *DsdWitnessBox;
    QPushButton *DsdExtractCsvBitBtn, *DsdExtractPrintBitBtn;

    // The record window's words when nothing is selected.
    static constexpr const char *PickSerialHint =
        "Pick an instrument serial number to see its stored records.";
    static constexpr const char *NothingUploadedHint = "No records have been uploaded yet.";

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The list again, nothing selected or loaded.
    void RebuildList();
    // Loads the store of the instrument with this displayed serial number, else the only one
    // listed; else selects nothing and says what to do in the record window.
    void ChooseStore(const QString &serial);
    // The connected instrument's serial number as the list shows it; empty without a link.
    QString ConnectedSerial() const;
    // An instrument's serial number as the list shows it; empty when it is not known.
    static QString ListedSerial(const QByteArray &serial);
    void ShowStore();
    void ShowStatusText(const QString &text, bool red);
    void DsdRecordControlsSetup(bool enabled);
    void DsdRecordRadioFromToSetup();
    void TakeInputs();
    void DsdRecordWindowPopulate();
    void ShowLoadResult();

    TTransactionEngine *Engine;
    TReporter *Reporter;
    TdatViewer *Config;
    int WheelTurn = 0;                   // wheel movement short of a whole notch
    static constexpr int WheelLines = 3; // record lines per notch of the wheel
    std::function<void(const QString &)> Log;
};
