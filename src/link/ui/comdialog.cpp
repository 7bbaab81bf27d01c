// TFrmComDialog and RunConnectionDialog (see comdialog.h).
#include "link/ui/comdialog.h"

#include "base/dmViewer.h"
#include "i18n/ui/LumsLangComp.h"
#include "link/IOIface.h"
#include "link/cable.h"
#include "link/finder.h"
#include "link/reporter.h"
#include "link/ui/radiogroup.h"
#include "settings/ui/NumEdit.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QVBoxLayout>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const QStringList BaudItems{"1200", "2400", "4800", "9600", "19200", "57600"};
const QStringList DataItems{"7", "8"};
const QStringList StopItems{"1", "2"};

// "9600, 57600 baud, unit address Any and 1": what a search on the cable asks.
QString SearchedText(int cable)
{
    QStringList rates, addresses;
    for (int r : CableBaudRates(cable))
        rates << QString::number(r);
    for (int a : CableSearchAddresses(cable))
        addresses << (a == 0 ? LangText("TFrmComDialog", "AddressAny", "Any") : QString::number(a));
    QString address = addresses.join(", ");
    if (addresses.size() > 1) {
        const QString last = addresses.takeLast();
        address = LangText("TFrmComDialog", "AddressPair", "%1 and %2").arg(addresses.join(", "), last);
    }
    return LangText("TFrmComDialog", "Searched", "%1 baud, unit address %2").arg(rates.join(", "), address);
}

} // namespace

TFrmComDialog::TFrmComDialog(TdatViewer &config, TLumsLanguageComp *language, TReporter *reporter,
                             QWidget *parent)
    : QDialog(parent), Config(config), Language(language), Reporter(reporter)
{
    setObjectName("FrmComDialog");
    setWindowTitle("Connection Settings");

    RGConnection = new TRadioGroup("RGConnection", "Connection", {"Serial", "TCP"}, this, 2);

    auto *serial = new QGroupBox("Serial Settings", this);
    GBSerial = serial;
    GBSerial->setObjectName("GBSerial");
    CBPort = new QComboBox(serial);
    CBPort->setObjectName("CBPort");
    CBPort->setEditable(true); // a typed device path (a pty, a /dev/serial/by-id link) is welcome
    CBPort->setInsertPolicy(QComboBox::NoInsert);
    CBPort->setMinimumContentsLength(28);
    BtnFind = new QPushButton("Find Instrument", serial);
    BtnFind->setObjectName("BtnFind");
    BtnFind->setToolTip("Ask every serial port at the bit rates of the chosen cable for the instrument");
    lblFindResult = new QLabel(serial);
    lblFindResult->setObjectName("lblFindResult");
    lblFindResult->setWordWrap(true);
    lblFindResult->hide();
    RGPhysical =
        new TRadioGroup("RGPhysical", "Cable", {"RS232", "Optical Link", "Fast Optical Link"}, serial);
    RGBaud = new TRadioGroup("RGBaud", "Baud", BaudItems, serial, 2);
    RGParity = new TRadioGroup("RGParity", "Parity", {"None", "Odd", "Even"}, serial);
    RGData = new TRadioGroup("RGData", "Data Bits", DataItems, serial);
    RGStop = new TRadioGroup("RGStop", "Stop Bits", StopItems, serial);
    lblFastOptoLinkWarning = new QLabel(serial);
    lblFastOptoLinkWarning->setObjectName("lblFastOptoLinkWarning");
    auto *portLabel = new QLabel("Port", serial);
    portLabel->setObjectName("lblPort");
    portLabel->setBuddy(CBPort);
    auto *serialLayout = new QGridLayout(serial);
    serialLayout->addWidget(portLabel, 0, 0);
    serialLayout->addWidget(CBPort, 0, 1);
    serialLayout->addWidget(BtnFind, 0, 2);
    serialLayout->addWidget(RGPhysical, 1, 0);
    serialLayout->addWidget(RGBaud, 1, 1);
    serialLayout->addWidget(RGParity, 1, 2);
    serialLayout->addWidget(lblFastOptoLinkWarning, 2, 0, 1, 3);
    serialLayout->addWidget(RGData, 2, 1);
    serialLayout->addWidget(RGStop, 2, 2);
    serialLayout->addWidget(lblFindResult, 3, 0, 1, 3);

    auto *tcp = new QGroupBox("TCP Settings", this);
    GBTcp = tcp;
    GBTcp->setObjectName("GBTcp");
    EdtIndHostname = new QLineEdit(tcp);
    EdtIndHostname->setObjectName("EdtIndHostname");
    EdtTcpPort = new TNumEdit(tcp);
    EdtTcpPort->setObjectName("EdtTcpPort");
    EdtTcpPort->Min = 1;
    EdtTcpPort->Max = 65535;
    auto *hostLabel = new QLabel("Indicator Hostname/IP", tcp);
    hostLabel->setObjectName("lblIndHostname");
    hostLabel->setBuddy(EdtIndHostname);
    auto *portNumberLabel = new QLabel("TCP Port", tcp);
    portNumberLabel->setObjectName("lblTcpPort");
    portNumberLabel->setBuddy(EdtTcpPort);
    auto *tcpLayout = new QGridLayout(tcp);
    tcpLayout->addWidget(hostLabel, 0, 0);
    tcpLayout->addWidget(EdtIndHostname, 0, 1);
    tcpLayout->addWidget(portNumberLabel, 1, 0);
    tcpLayout->addWidget(EdtTcpPort, 1, 1);
    tcpLayout->setRowStretch(2, 1);

    auto *demo = new QGroupBox("Demo Instrument", this);
    GBDemo = demo;
    GBDemo->setObjectName("GBDemo");
    lblDemo = new QLabel(demo);
    lblDemo->setObjectName("lblDemo");
    lblDemo->setWordWrap(true);
    (new QVBoxLayout(demo))->addWidget(lblDemo);
    GBDemo->hide();

    auto *address = new QGroupBox("Unit Address", this);
    GBUnitAddress = address;
    GBUnitAddress->setObjectName("GBUnitAddress");
    CBAddress = new QComboBox(address);
    CBAddress->setObjectName("CBAddress");
    CBAddress->addItem(LangText("TFrmComDialog", "AddressAny", "Any"));
    for (int i = 1; i <= 31; ++i)
        CBAddress->addItem(QString::number(i));
    (new QHBoxLayout(address))->addWidget(CBAddress);

    BtnOk = new QPushButton("Ok", this);
    BtnOk->setObjectName("BtnOk");
    BtnOk->setDefault(true);
    BtnCancel = new QPushButton("Cancel", this);
    BtnCancel->setObjectName("BtnCancel");
    BtnCancel->setProperty(TNumEdit::TagProperty, EdtTcpPort->CancelTag);

    // The serial and TCP groups take the same place; only one of them shows.
    auto *layout = new QGridLayout(this);
    layout->addWidget(RGConnection, 0, 0, 1, 2);
    layout->addWidget(GBSerial, 1, 0, 1, 2);
    layout->addWidget(GBTcp, 1, 0, 1, 2);
    layout->addWidget(GBDemo, 1, 0, 1, 2, Qt::AlignTop);
    layout->addWidget(GBUnitAddress, 2, 0, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BtnOk);
    buttons->addWidget(BtnCancel);
    layout->addLayout(buttons, 3, 0, 1, 2);

    connect(RGConnection, &TRadioGroup::Changed, this, &TFrmComDialog::RGConnectionClick);
    connect(RGPhysical, &TRadioGroup::Changed, this, &TFrmComDialog::RGPhysicalClick);
    connect(BtnOk, &QPushButton::clicked, this, &TFrmComDialog::BtnOkClick);
    connect(BtnFind, &QPushButton::clicked, this, &TFrmComDialog::BtnFindClick);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(EdtTcpPort, &TNumEdit::ExitError, this, [this] {
        if (Reporter)
            Reporter->Error(
                LangText("TFrmComDialog", "BadTcpPort", "'%1' is not a valid TCP port (1 to 65535)")
                    .arg(EdtTcpPort->text()));
    });

    ListPorts();
    // The state of a new dialog, before the configuration fills it.
    RGConnection->SetItemIndex(0);
    RGPhysical->SetItemIndex(0);
    CBPort->setEditText(TdatViewer::DefaultSerialPort(ListedPortNames()));
    RGBaud->SetItemIndex(BaudItems.indexOf("9600"));
    RGData->SetItemIndex(1);
    RGStop->SetItemIndex(0);
    RGParity->SetItemIndex(0);
    CBAddress->setCurrentIndex(0);
    EdtIndHostname->setText(TdatViewer::DefaultTcpHost);
    EdtTcpPort->setText("2222");
    lblFastOptoLinkWarning->setText(
        LangText("TFrmComDialog", "FastOptoLinkWarning", QString(FastOptoLinkWarning).remove('\r')));
    RGConnectionClick();
    RGPhysicalClick();
}

TFrmComDialog::~TFrmComDialog() = default;

void TFrmComDialog::ListPorts()
{
    CBPort->clear();
    for (const TSerialPortDetails &port : ListSerialPorts()) {
        const QString details = port.Details();
        CBPort->addItem(details.isEmpty() ? port.Name : port.Name + "  (" + details + ")", port.Name);
    }
}

QStringList TFrmComDialog::ListedPortNames() const
{
    QStringList names;
    for (int i = 0; i < CBPort->count(); ++i)
        names << CBPort->itemData(i).toString();
    return names;
}

QStringList TFrmComDialog::PortsToSearch() const
{
    QStringList ports;
    const QString entered = PortNameOf(CBPort->currentText());
    if (!entered.isEmpty())
        ports << entered;
    for (int i = 0; i < CBPort->count(); ++i) {
        const QString name = CBPort->itemData(i).toString();
        if (!name.isEmpty() && !ports.contains(name))
            ports << name;
    }
    return ports;
}

void TFrmComDialog::BtnFindClick()
{
    const int cable = RGPhysical->ItemIndex();
    if (cable < 0) {
        if (Reporter)
            Reporter->Error(LangText("TFrmComDialog", "ChooseCable", "Please choose a Cable."));
        return;
    }
    // The port the user named is asked first. Other ports may have other devices behind them
    // (a modem, a PLC, another instrument) that take our reads for their own: those are asked only
    // after the user agreed, with their names shown first.
    const QString entered = PortNameOf(CBPort->currentText());
    const QStringList ports = PortsToSearch();
    QStringList others = ports;
    others.removeAll(entered);
    if (ports.isEmpty()) {
        if (Reporter)
            Reporter->Error(LangText("TFrmComDialog", "NoPortToSearch",
                                     "There is no serial port to search: plug in the cable or adapter, or "
                                     "enter the port's name."));
        return;
    }
    TInstrumentFinder finder;
    finder.AttemptMs = FindAttemptMs;
    if (RGData->ItemIndex() >= 0)
        finder.Line.DataBits = RGData->ItemText(RGData->ItemIndex()).toInt();
    if (RGStop->ItemIndex() >= 0)
        finder.Line.StopBits = RGStop->ItemText(RGStop->ItemIndex()).toInt();
    finder.Line.Parity = std::max(RGParity->ItemIndex(), 0);

    QList<TFoundInstrument> found;
    QStringList skipped;
    QStringList searched;
    auto search = [&](const QStringList &portsNow) {
        QProgressDialog progress(LangText("TFrmComDialog", "Looking", "Looking for the instrument..."),
                                 LangText("TFrmComDialog", "BtnCancel", "Cancel"), 0,
                                 TInstrumentFinder::AttemptCount(static_cast<int>(portsNow.size()), cable),
                                 this);
        progress.setObjectName("FrmFindProgress");
        progress.setWindowTitle(LangText("TFrmComDialog", "BtnFind", "Find Instrument"));
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(0);
        progress.setAutoClose(false);
        progress.setAutoReset(false);
        connect(&progress, &QProgressDialog::canceled, &finder, [&finder] { finder.Cancel(); });
        finder.OnProgress = [&progress](const TSearchStep &s) {
            progress.setLabelText(LangText("TFrmComDialog", "Asking", "Asking %1").arg(s.Port) + "\n" +
                                  LangText("TFrmComDialog", "AskingAt", "at %1 baud, unit address %2 ...")
                                      .arg(s.Baud)
                                      .arg(s.Address == 0 ? LangText("TFrmComDialog", "AddressAny", "Any")
                                                          : QString::number(s.Address)));
            progress.setValue(s.Index);
        };
        searched += portsNow;
        finder.OnPortSkipped = [&skipped, &searched](const QString &port, const QString &why) {
            skipped << QString("%1 (%2)").arg(port, why);
            searched.removeAll(port);
        };
        // Nothing in this dialog may change while the search runs.
        BtnFind->setEnabled(false);
        BtnOk->setEnabled(false);
        progress.show();
        found += finder.Find(portsNow, cable);
        // Closing the progress window counts as its Cancel: the search has ended by then.
        progress.disconnect(&finder);
        progress.close();
        BtnFind->setEnabled(true);
        BtnOk->setEnabled(true);
    };
    if (!entered.isEmpty())
        search({entered});
    bool asked = false;
    if (found.isEmpty() && !finder.Cancelled() && !others.isEmpty() && Reporter) {
        asked = true;
        QStringList names;
        for (const QString &port : others) {
            const int i = CBPort->findData(port);
            names << "    " + (i >= 0 ? CBPort->itemText(i) : port);
        }
        const QString first =
            entered.isEmpty() ? LangText("TFrmComDialog", "NoPortNamed", "No port is named.")
                              : LangText("TFrmComDialog", "NoAnswerOn", "No instrument answered on %1 at %2.")
                                    .arg(entered, SearchedText(cable));
        if (Reporter->Ask(
                first + "\n\n" +
                LangText("TFrmComDialog", "SearchOthers", "Search these other serial ports too?") + "\n\n" +
                names.join("\n") + "\n\n" +
                LangText("TFrmComDialog", "OnlyReads",
                         "Only reads are sent, but a device of another kind on one of them may take "
                         "them for its own.")))
            search(others);
    }

    QStringList lines;
    if (!found.isEmpty()) {
        const TFoundInstrument &f = found.first();
        const int listed = CBPort->findData(f.Port);
        if (listed >= 0)
            CBPort->setCurrentIndex(listed);
        else
            CBPort->setEditText(f.Port);
        if (!CableFixesLine(cable)) {
            RGBaud->SetItemIndex(RGBaud->IndexOf(QString::number(f.Baud)));
            CBAddress->setCurrentIndex(f.Address);
        }
        for (const TFoundInstrument &each : found)
            lines << LangText("TFrmComDialog", "Found", "Found %1 on %2 at %3 baud, unit address %4.")
                         .arg(QString::fromLatin1(each.Identification()), each.Port)
                         .arg(each.Baud)
                         .arg(each.Address);
        if (found.size() > 1)
            lines << LangText("TFrmComDialog", "FirstChosen", "The first one is chosen.");
        if (cable == 2 && f.Baud == 57600)
            lines << LangText(
                "TFrmComDialog", "StillFast",
                "It still runs at 57600 baud from an earlier fast link; the connection starts at "
                "9600 baud, so switch the instrument off and on before connecting.");
    }
    if (finder.Cancelled())
        lines << LangText("TFrmComDialog", "SearchCancelled", "The search was cancelled.");
    else if (found.isEmpty() && searched.isEmpty())
        lines << LangText("TFrmComDialog", "NothingSearched", "No port could be searched.");
    else if (found.isEmpty())
        lines << LangText(
                     "TFrmComDialog", "NoAnswer",
                     "No instrument answered on %1 at %2. Check the cable type, the instrument's bit rate "
                     "and unit address, and that it is switched on.")
                     .arg(searched.join(", "), SearchedText(cable));
    if (!skipped.isEmpty())
        lines << LangText("TFrmComDialog", "NotSearched", "Not searched: %1.").arg(skipped.join("; "));
    lblFindResult->setText(lines.join("\n"));
    lblFindResult->show();
    // Taller for the result, as wide as before, so that the groups are not squeezed.
    layout()->activate();
    const int needed =
        layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width()) : sizeHint().height();
    if (needed > height())
        resize(width(), needed);
    // After a question about the other ports the user knows; the result line says it again.
    if (found.isEmpty() && !finder.Cancelled() && Reporter && !(asked && searched == QStringList{entered}))
        Reporter->Message(lines.join("\n\n"));
}

QString TFrmComDialog::PortNameOf(const QString &shown) const
{
    const int i = CBPort->findText(shown);
    if (i >= 0)
        return CBPort->itemData(i).toString();
    return shown.trimmed();
}

void TFrmComDialog::LoadFromConfig()
{
    RGConnection->SetItemIndex(Config.GetConnectionType());
    RGPhysical->SetItemIndex(Config.GetSerialCable());
    const QString port = Config.GetSerialPort();
    const int listed = CBPort->findData(port);
    if (listed >= 0)
        CBPort->setCurrentIndex(listed);
    else
        CBPort->setEditText(port);
    RGBaud->SetItemIndex(RGBaud->IndexOf(QString::number(Config.GetBaudRate())));
    RGData->SetItemIndex(RGData->IndexOf(QString::number(Config.GetDataBits())));
    RGStop->SetItemIndex(RGStop->IndexOf(QString::number(Config.GetStopBits())));
    RGParity->SetItemIndex(Config.GetParityBits());
    const int address = Config.GetSerialAddress();
    CBAddress->setCurrentIndex(address >= 0 && address < CBAddress->count() ? address : -1);
    EdtIndHostname->setText(Config.GetTcpHostname());
    EdtTcpPort->setText(QString::number(Config.GetTcpPort()));
    RGConnectionClick();
    RGPhysicalClick();
}

void TFrmComDialog::OfferDemo(int port)
{
    if (port <= 0 || Demo > 0)
        return;
    Demo = port;
    RGConnection->AddItem("Demo instrument");
    lblDemo->setText(LangText("TFrmComDialog", "DemoText",
                              "The simulated instrument that the demo runs on this computer (127.0.0.1, TCP "
                              "port %1).")
                         .arg(port) +
                     "\n\n" +
                     LangText("TFrmComDialog", "DemoNotStored",
                              "It is there only while the demo runs, so nothing about it is stored."));
    RGConnection->SetItemIndex(ConnectionDemo);
    RGConnectionClick();
}

bool TFrmComDialog::PointsAtDemo(const TComSettings &settings) const
{
    if (Demo <= 0)
        return false;
    if (settings.ConnectionType == ConnectionDemo)
        return true;
    if (settings.ConnectionType != 1 || settings.TcpPort != Demo)
        return false;
    const QString host = settings.Host.trimmed().toLower();
    return host == "localhost" || QHostAddress(host).isLoopback();
}

void TFrmComDialog::showEvent(QShowEvent *event)
{
    if (Language)
        Language->ApplyLanguage(this);
    if (!Config.GetFastOptoLink() && RGPhysical->Count() >= 3)
        RGPhysical->RemoveLast();
    RGPhysicalClick();
    QDialog::showEvent(event);
}

void TFrmComDialog::RGConnectionClick()
{
    const int type = RGConnection->ItemIndex();
    const bool tcp = type == 1;
    const bool demo = type == ConnectionDemo;
    GBSerial->setVisible(!tcp && !demo);
    GBTcp->setVisible(tcp);
    GBDemo->setVisible(demo);
    // The optical links talk to any address; RS232 and TCP may choose one.
    GBUnitAddress->setVisible(tcp || (!demo && !CableFixesLine(RGPhysical->ItemIndex())));
}

void TFrmComDialog::RGPhysicalClick()
{
    const int cable = RGPhysical->ItemIndex();
    const bool rs232 = cable == 0;
    for (QWidget *w : {static_cast<QWidget *>(RGBaud), static_cast<QWidget *>(RGParity),
                       static_cast<QWidget *>(RGData), static_cast<QWidget *>(RGStop)})
        w->setVisible(rs232);
    const int type = RGConnection->ItemIndex();
    GBUnitAddress->setVisible(type == 1 || (type != ConnectionDemo && !CableFixesLine(cable)));
    lblFastOptoLinkWarning->setVisible(cable == 2);
}

std::optional<TComSettings> TFrmComDialog::Effective(QString *problem) const
{
    auto fail = [&](const QString &why) {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    TComSettings s;
    if (Demo > 0 && RGConnection->ItemIndex() == ConnectionDemo) {
        s.ConnectionType = ConnectionDemo;
        s.Host = "127.0.0.1";
        s.TcpPort = Demo;
        return s;
    }
    s.ConnectionType = RGConnection->ItemIndex() == 1 ? 1 : 0;
    s.PortName = PortNameOf(CBPort->currentText());
    s.Cable = RGPhysical->ItemIndex();
    s.Host = EdtIndHostname->text().trimmed();
    int port = 0;
    if (!TNumEdit::TextToInt(EdtTcpPort->text().trimmed(), &port))
        return fail(LangText("TFrmComDialog", "NotInteger", "'%1' is not a valid integer value")
                        .arg(EdtTcpPort->text()));
    s.TcpPort = port;
    if (s.ConnectionType == 1) {
        // A serial part with nothing chosen does not matter for TCP; keep what can be kept.
        s.BaudRate = RGBaud->ItemIndex() >= 0 ? RGBaud->ItemText(RGBaud->ItemIndex()).toInt() : 9600;
        s.DataBits = RGData->ItemIndex() >= 0 ? RGData->ItemText(RGData->ItemIndex()).toInt() : 8;
        s.StopBits = RGStop->ItemIndex() >= 0 ? RGStop->ItemText(RGStop->ItemIndex()).toInt() : 1;
        s.Parity = std::max(RGParity->ItemIndex(), 0);
        s.Cable = std::max(s.Cable, 0);
        if (CBAddress->currentIndex() < 0)
            return fail(LangText("TFrmComDialog", "ChooseAddress", "Please choose a Unit Address."));
        s.UnitAddress = CBAddress->currentIndex();
        if (s.Host.isEmpty())
            return fail(LangText("TFrmComDialog", "EnterHost",
                                 "Please enter the indicator's host name or IP address."));
        if (port < 1 || port > 65535)
            return fail(LangText("TFrmComDialog", "BadTcpPort", "'%1' is not a valid TCP port (1 to 65535)")
                            .arg(port));
        return s;
    }
    if (s.Cable < 0)
        return fail(LangText("TFrmComDialog", "ChooseCable", "Please choose a Cable."));
    if (s.PortName.isEmpty())
        return fail(LangText("TFrmComDialog", "ChoosePort", "Please choose a Port."));
    if (CableFixesLine(s.Cable)) {
        // The optical links fix the hidden settings; nothing is read from the hidden groups.
        const TSerialLineSettings line = ImposeCableSettings(s.Cable, {});
        s.BaudRate = line.Baud;
        s.DataBits = line.DataBits;
        s.StopBits = line.StopBits;
        s.Parity = line.Parity;
        s.UnitAddress = line.UnitAddress;
        return s;
    }
    if (RGBaud->ItemIndex() < 0)
        return fail(LangText("TFrmComDialog", "ChooseBaud", "Please choose a Baud rate."));
    if (RGData->ItemIndex() < 0)
        return fail(LangText("TFrmComDialog", "ChooseData", "Please choose the Data Bits."));
    if (RGStop->ItemIndex() < 0)
        return fail(LangText("TFrmComDialog", "ChooseStop", "Please choose the Stop Bits."));
    if (RGParity->ItemIndex() < 0)
        return fail(LangText("TFrmComDialog", "ChooseParity", "Please choose a Parity."));
    if (CBAddress->currentIndex() < 0)
        return fail(LangText("TFrmComDialog", "ChooseAddress", "Please choose a Unit Address."));
    s.BaudRate = RGBaud->ItemText(RGBaud->ItemIndex()).toInt();
    s.DataBits = RGData->ItemText(RGData->ItemIndex()).toInt();
    s.StopBits = RGStop->ItemText(RGStop->ItemIndex()).toInt();
    s.Parity = RGParity->ItemIndex();
    s.UnitAddress = CBAddress->currentIndex();
    return s;
}

void TFrmComDialog::StoreToConfig(const TComSettings &s)
{
    Config.SetConnectionType(s.ConnectionType);
    Config.SetSerialCable(s.Cable);
    // A TCP connection leaves the serial port as it was: the default shown was nobody's choice.
    if (s.ConnectionType == 0 || s.PortName != Config.GetSerialPort())
        Config.SetSerialPort(s.PortName);
    Config.SetBaudRate(s.BaudRate);
    Config.SetDataBits(s.DataBits);
    Config.SetStopBits(s.StopBits);
    Config.SetParityBits(s.Parity);
    Config.SetSerialAddress(s.UnitAddress);
    Config.SetTcpHostname(s.Host);
    Config.SetTcpPort(s.TcpPort);
}

void TFrmComDialog::BtnOkClick()
{
    QString problem;
    if (!Effective(&problem)) {
        if (Reporter)
            Reporter->Error(problem);
        return;
    }
    accept();
}

std::unique_ptr<TIOIface> TFrmComDialog::BuildTransport(const TComSettings &s)
{
    if (s.ConnectionType == 1 || s.ConnectionType == ConnectionDemo) {
        auto socket = std::make_unique<TIOIfaceSocket>();
        socket->SetHostText(s.Host);
        socket->SetPort(s.TcpPort);
        return socket;
    }
    auto serial = std::make_unique<TIOIfaceSerial>();
    serial->SetPortName(s.PortName);
    serial->SetBaud(s.BaudRate);
    serial->SetDataBits(s.DataBits);
    serial->SetStopBits(s.StopBits);
    serial->SetParity(s.Parity);
    serial->SetCable(s.Cable);
    return serial;
}

std::optional<TConnectionChoice> RunConnectionDialog(TdatViewer &config, TLumsLanguageComp *language,
                                                     TReporter *reporter, QWidget *parent, int demoPort)
{
    TFrmComDialog dialog(config, language, reporter, parent);
    dialog.LoadFromConfig();
    dialog.OfferDemo(demoPort);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const auto settings = dialog.Effective();
    if (!settings)
        return std::nullopt;
    TConnectionChoice choice;
    choice.Demo = dialog.PointsAtDemo(*settings);
    // The demo's port lasts only as long as the demo: storing it would send the next start to a
    // port where nothing listens (or something else does).
    if (!choice.Demo)
        dialog.StoreToConfig(*settings);
    choice.Link = TFrmComDialog::BuildTransport(*settings);
    choice.UnitAddress = settings->UnitAddress;
    choice.Cable = settings->Cable;
    return choice;
}

QString SerialOpenAdvice(const QString &device, const QString &reason)
{
    QString path = device;
    if (!path.contains('/'))
        path = "/dev/" + path;
    const QByteArray native = QFile::encodeName(path);
    struct stat st {
    };
    if (::stat(native.constData(), &st) != 0)
        return LangText(
                   "Messages", "PortMissing",
                   "The port %1 cannot be opened: it does not exist (%2). Check that the cable or adapter is "
                   "plugged in, and choose the port again.")
            .arg(path, reason);
    if (::access(native.constData(), R_OK | W_OK) != 0) {
        const struct group *owner = ::getgrgid(st.st_gid);
        const QString group = owner ? QString::fromLocal8Bit(owner->gr_name) : QString::number(st.st_gid);
        return LangText("Messages", "PortNoPermission",
                        "The port %1 cannot be opened: you have no permission to use it (%2).")
                   .arg(path, reason) +
               "\n\n" +
               LangText("Messages", "PortGroup", "It belongs to the group \"%1\". Join that group with")
                   .arg(group) +
               "\n    sudo usermod -aG " + group + " $USER\n" +
               LangText("Messages", "PortLogInAgain", "then log out and in again.");
    }
    return LangText("Messages", "PortBusy",
                    "The port %1 cannot be opened (%2). It may be busy: close any other program that uses it "
                    "and try again.")
        .arg(path, reason);
}
