// The Calibration tab's controls below the front-panel mimic: the zero and span buttons with the
// figures in mV/V, and the list of the ten linearisation points. TCalibrationUi wires them to the
// calibration steps, the main window and the session.
#pragma once

#include <QObject>
#include <QWidget>
#include <optional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class TCalibration;
class TDevice;
class TFrmMain;
class TSession;
struct TCalAsk;

class TCalibrationTab : public QWidget
{
    Q_OBJECT
public:
    explicit TCalibrationTab(QWidget *parent = nullptr);

    // The figures and the list from the catalogue; the chosen line stays chosen.
    void ShowCalibrationInfo(const TDevice &device);

    QGroupBox *GBxCal;
    QPushButton *BtnZero;
    QPushButton *BTnSpan;
    QCheckBox *CBxDirectMVV;
    QLabel *LblZeroCal;
    QLabel *LblSpanCal;
    QGroupBox *GBxLin;
    QListWidget *LBxLCal;
    QPushButton *BtnLSet;
    QPushButton *BtnLClear;
};

class TCalibrationUi : public QObject
{
    Q_OBJECT
public:
    // Puts the tab below the window's calibration mimic and takes the session's calibration news.
    TCalibrationUi(TFrmMain &window, TSession *session);

    void BtnZeroClick();
    void BTnSpanClick();
    void BtnLSetClick();
    void BtnLClearClick();
    void ShowCalibrationInfo();

    TFrmMain &Window;
    TCalibration *Calibration;
    TCalibrationTab *Tab;
    // The status-bar line while a step is watched ("Calibration in progress: 12 s"); hidden
    // otherwise. A label of its own: the bar's permanent panels leave no room for a message.
    QLabel *WatchLine;

private:
    std::optional<QByteArray> AskValue(const TCalAsk &ask);
    // Runs one flow unless another one is running.
    template <typename Flow> void Run(Flow flow);
    bool Running = false;
};
