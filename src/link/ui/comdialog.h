// TFrmComDialog: the connection dialog (serial or TCP and their settings), and RunConnectionDialog,
// which fills it from the configuration, stores what was chosen and builds the transport.
#pragma once

#include <QDialog>
#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TIOIface;
class TLumsLanguageComp;
class TNumEdit;
class TRadioGroup;
class TReporter;
class TdatViewer;

// What the dialog hands back: the values that are stored and used.
struct TComSettings {
    int ConnectionType = 0; // 0 serial, 1 TCP, 2 the demo instrument (never stored)
    QString PortName;
    int BaudRate = 9600;
    int DataBits = 8;
    int StopBits = 1;
    int Parity = 0;
    int UnitAddress = 0;
    int Cable = 0;
    QString Host;
    int TcpPort = 2222;
};

// A new transport (not yet open) with the unit address and cable to use on it.
struct TConnectionChoice {
    std::unique_ptr<TIOIface> Link;
    int UnitAddress = 0;
    int Cable = 0;
    bool Demo = false; // the link goes to the demo instrument
};

// The connection type of the demo instrument, offered only while the demo runs.
inline constexpr int ConnectionDemo = 2;

class TFrmComDialog : public QDialog
{
    Q_OBJECT
public:
    TFrmComDialog(TdatViewer &config, TLumsLanguageComp *language, TReporter *reporter,
                  QWidget *parent = nullptr);
    ~TFrmComDialog() override;

    static constexpr const char *FastOptoLinkWarning =
        "\"Fast Optical Link\" does not work\r\nwith all firmware versions.\r\n\r\nIf problems occur, use "
        "\"Optical Link\".";

    void LoadFromConfig();
    // While the demo runs: its instrument (on 127.0.0.1 at that port) becomes a third connection
    // type, chosen to start with, so that a user can always get back to it.
    void OfferDemo(int port);
    int DemoPort() const { return Demo; }
    // The TCP settings reach the demo instrument (typed by hand or chosen).
    bool PointsAtDemo(const TComSettings &settings) const;
    // The effective values, with the optical link's fixed settings applied. Empty (and the reason
    // in *problem) when a value the connection needs has no selection or does not convert.
    std::optional<TComSettings> Effective(QString *problem = nullptr) const;
    void StoreToConfig(const TComSettings &settings);
    static std::unique_ptr<TIOIface> BuildTransport(const TComSettings &settings);
    // Fills the port list from the ports present (each with its description, manufacturer, serial
    // number and /dev/serial/by-id name).
    void ListPorts();
    // The ports "Find Instrument" asks: the one entered first, then every listed one.
    QStringList PortsToSearch() const;
    // The device names of the ports the list offers, in its order.
    QStringList ListedPortNames() const;
    // "Find Instrument": asks the ports with a progress window that can be cancelled, selects the
    // port, bit rate and address of the first instrument that answers and says what was found.
    void BtnFindClick();
    // The wait per attempt of the search (tests shorten it).
    int FindAttemptMs = 300;

    TRadioGroup *RGConnection;
    QWidget *GBSerial;
    QComboBox *CBPort;
    QPushButton *BtnFind;
    QLabel *lblFindResult;
    TRadioGroup *RGPhysical;
    TRadioGroup *RGBaud;
    TRadioGroup *RGParity;
    TRadioGroup *RGData;
    TRadioGroup *RGStop;
    QLabel *lblFastOptoLinkWarning;
    QWidget *GBTcp;
    QLineEdit *EdtIndHostname;
    TNumEdit *EdtTcpPort;
    QWidget *GBDemo;
    QLabel *lblDemo;
    QWidget *GBUnitAddress;
    QComboBox *CBAddress;
    QPushButton *BtnOk;
    QPushButton *BtnCancel;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void RGConnectionClick();
    void RGPhysicalClick();
    void BtnOkClick();
    QString PortNameOf(const QString &shown) const;

    TdatViewer &Config;
    TLumsLanguageComp *Language;
    TReporter *Reporter;
    int Demo = 0; // the demo instrument's port while the demo runs
};

// demoPort: the demo instrument's port while the demo runs, else 0. A connection to the demo
// instrument stores nothing: its port is gone when the demo ends.
std::optional<TConnectionChoice> RunConnectionDialog(TdatViewer &config, TLumsLanguageComp *language,
                                                     TReporter *reporter, QWidget *parent, int demoPort = 0);

// Why a serial port did not open, in words a user can act on: for a device the user may not open,
// the group that owns it and how to join that group.
QString SerialOpenAdvice(const QString &device, const QString &reason);
