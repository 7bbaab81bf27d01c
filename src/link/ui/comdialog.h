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
    int ConnectionType = 0; // 0 serial, 1 TCP
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
};

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
    // The effective values, with the optical link's fixed settings applied. Empty (and the reason
    // in *problem) when a value the connection needs has no selection or does not convert.
    std::optional<TComSettings> Effective(QString *problem = nullptr) const;
    void StoreToConfig(const TComSettings &settings);
    static std::unique_ptr<TIOIface> BuildTransport(const TComSettings &settings);
    // Fills the port list from the ports present (each with its description and serial number).
    void ListPorts();

    TRadioGroup *RGConnection;
    QWidget *GBSerial;
    QComboBox *CBPort;
    TRadioGroup *RGPhysical;
    TRadioGroup *RGBaud;
    TRadioGroup *RGParity;
    TRadioGroup *RGData;
    TRadioGroup *RGStop;
    QLabel *lblFastOptoLinkWarning;
    QWidget *GBTcp;
    QLineEdit *EdtIndHostname;
    TNumEdit *EdtTcpPort;
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
};

std::optional<TConnectionChoice> RunConnectionDialog(TdatViewer &config, TLumsLanguageComp *language,
                                                     TReporter *reporter, QWidget *parent);

// Why a serial port did not open, in words a user can act on: for a device the user may not open,
// the group that owns it and how to join that group.
QString SerialOpenAdvice(const QString &device, const QString &reason);
