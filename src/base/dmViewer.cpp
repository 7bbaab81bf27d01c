// The program's configuration store (see dmViewer.h).
#include "base/dmViewer.h"

#include "base/apppaths.h"
#include "base/wholefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringDecoder>

#include <climits>

namespace
{

// Integers as ini files hold them: decimal with an optional sign, or hexadecimal after "0x".
bool ParseIniInt(const QByteArray &text, int *out)
{
    bool ok = false;
    qint64 v = 0;
    if (text.startsWith("0x") || text.startsWith("0X")) {
        const QByteArray digits = text.mid(2);
        if (digits.isEmpty() || digits.startsWith('+') || digits.startsWith('-'))
            return false;
        v = digits.toLongLong(&ok, 16);
        // Eight hex digits may carry the sign bit of a 32-bit value.
        if (ok && v > INT_MAX && v <= 0xFFFFFFFFLL)
            v = static_cast<qint32>(static_cast<quint32>(v));
    } else {
        v = text.toLongLong(&ok, 10);
    }
    if (!ok || v < INT_MIN || v > INT_MAX)
        return false;
    *out = static_cast<int>(v);
    return true;
}

// Texts are 8-bit in the file: UTF-8 when they are valid UTF-8 (what we write), else Latin-1
// (files written on older systems).
QString DecodeText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (utf8.hasError())
        return QString::fromLatin1(bytes);
    return text;
}

bool FolderWritable(const QString &file)
{
    const QFileInfo info(file);
    if (info.exists() && !info.isWritable())
        return false;
    return QFileInfo(info.absolutePath()).isWritable();
}

} // namespace

QString TdatViewer::DefaultProgramIni()
{
    const QString base = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    return AppPaths::ProgramDir() + "/" + base + ".ini";
}

QString TdatViewer::DefaultUserIni()
{
    const QString base = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    return AppPaths::UserDir(AppPaths::UserFolder::Config) + "/" + base + ".ini";
}

TdatViewer::TdatViewer()
{
    Load(DefaultProgramIni(), DefaultUserIni(), false);
}

TdatViewer::TdatViewer(const QString &programIni, const QString &userIni, bool readOnlyProgramFolder)
{
    Load(programIni, userIni, readOnlyProgramFolder);
}

TdatViewer::~TdatViewer()
{
    Save();
}

void TdatViewer::Load(const QString &programIni, const QString &userIni, bool readOnlyProgramFolder)
{
    ProgDir = QFileInfo(programIni).absolutePath();
    ProgBase = QFileInfo(programIni).completeBaseName();
    UserIni = userIni;
    ProgramIni = programIni;
    // One rule: the ini beside a program whose folder can be written is the only one. Otherwise the
    // shipped ini is read and the per-user file, holding only what the user changed, lies over it;
    // shipped values the user never changed (About texts, pictures, hosts) follow a new version.
    UserMode = !userIni.isEmpty() && (readOnlyProgramFolder || !FolderWritable(programIni));
    Problems.clear();
    Refused.clear();
    // An ini that cannot be read whole within its limit counts as absent, and is never written.
    auto read = [&](const QString &name, QByteArray &text) {
        QString why;
        const TReadOutcome outcome = ReadFileLimited(name, MaxTextFileBytes, text, &why);
        if (outcome == TReadOutcome::TooLarge || outcome == TReadOutcome::Failed) {
            Refused.append(name);
            Problems.append(why + QStringLiteral(" The program does not write over it."));
        }
        return outcome == TReadOutcome::Read;
    };
    QByteArray text;
    Present = read(programIni, text);
    if (Present)
        Ini.Parse(text);
    Shipped = Ini;
    ReadFrom = programIni;
    WriteTo = UserMode ? userIni : programIni;
    if (!UserMode)
        return;
    QByteArray userText;
    if (!read(userIni, userText))
        return;
    TIniFile changed;
    changed.Parse(userText);
    for (const TIniFile::TEntry &e : changed.Entries())
        Ini.SetValue(e.Section, e.Key, e.Value);
    if (!Present)
        ReadFrom = userIni;
    Present = true;
}

QByteArray TdatViewer::UserText() const
{
    TIniFile changed;
    for (const TIniFile::TEntry &e : Ini.Entries()) {
        if (!Shipped.Has(e.Section, e.Key) || Shipped.Value(e.Section, e.Key) != e.Value)
            changed.SetValue(e.Section, e.Key, e.Value);
    }
    return changed.Text();
}

bool TdatViewer::Save(QString *error)
{
    if (!Present || !Dirty)
        return true;
    if (Refused.contains(WriteTo)) {
        if (error)
            *error = QStringLiteral("The settings were not saved to %1: it was not read at start.")
                         .arg(QDir::toNativeSeparators(WriteTo));
        return false;
    }
    auto writeTo = [&](const QString &name, const QByteArray &text, QString *why) {
        QDir().mkpath(QFileInfo(name).absolutePath());
        TWholeFile out(name);
        if (out.Open() && out.Write(text) && out.Commit())
            return true;
        *why = out.Reason();
        return false;
    };
    QString why;
    if (writeTo(WriteTo, UserMode ? UserText() : Ini.Text(), &why)) {
        Dirty = false;
        return true;
    }
    // The program folder turned out not to be writable after all: keep the user's changes per user.
    QString userWhy;
    if (!UserIni.isEmpty() && !UserMode) {
        QString why2;
        UserMode = true;
        if (writeTo(UserIni, UserText(), &why2)) {
            WriteTo = UserIni;
            Dirty = false;
            return true;
        }
        UserMode = false;
        userWhy = why2;
    }
    if (error)
        *error = QStringLiteral("The settings were not saved. ") + WriteFailedText(WriteTo, why) +
                 (userWhy.isEmpty() ? QString()
                                    : QStringLiteral(" Nor could they be kept in %1: %2.")
                                          .arg(QDir::toNativeSeparators(UserIni), userWhy));
    return false;
}

int TdatViewer::ReadInt(const char *section, const char *key, int def, int noIniDef) const
{
    if (!Present)
        return noIniDef;
    int v = def;
    if (!Ini.Has(section, key) || !ParseIniInt(Ini.Value(section, key), &v))
        return def;
    return v;
}

void TdatViewer::WriteInt(const char *section, const char *key, int value)
{
    if (Present && Ini.SetValue(section, key, QByteArray::number(value)))
        Dirty = true;
}

bool TdatViewer::ReadBool(const char *section, const char *key, bool def, bool noIniDef) const
{
    return ReadInt(section, key, def ? 1 : 0, noIniDef ? 1 : 0) != 0;
}

void TdatViewer::WriteBool(const char *section, const char *key, bool value)
{
    WriteInt(section, key, value ? 1 : 0);
}

QString TdatViewer::ReadText(const char *section, const QByteArray &key, const QString &def,
                             const QString &noIniDef) const
{
    if (!Present)
        return noIniDef;
    if (!Ini.Has(section, key))
        return def;
    return DecodeText(Ini.Value(section, key));
}

void TdatViewer::WriteText(const char *section, const QByteArray &key, const QString &value)
{
    if (Present && Ini.SetValue(section, key, value.toUtf8()))
        Dirty = true;
}

QString TdatViewer::ProgramPath(const QString &relative) const
{
    if (!Present || relative.isEmpty())
        return QString();
    return ProgDir + "/" + relative;
}

int TdatViewer::GetConnectionType() const
{
    return ReadInt("Connection", "ConnectionType", 0, 0);
}
void TdatViewer::SetConnectionType(int value)
{
    WriteInt("Connection", "ConnectionType", value & 0x7F);
}
QString TdatViewer::GetSerialPort() const
{
    if (Present && Ini.Has("Connection", "SerialPort"))
        return ReadText("Connection", "SerialPort", {}, {});
    QStringList listed;
#ifndef Q_OS_WIN
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        listed << info.systemLocation();
#endif
    return DefaultSerialPort(listed);
}

QString TdatViewer::DefaultSerialPort(const QStringList &listed)
{
#ifdef Q_OS_WIN
    Q_UNUSED(listed);
    return QStringLiteral("COM1");
#else
    // There is no COM1 here: the first port the system has, else the first on-board one.
    return listed.isEmpty() ? QStringLiteral("/dev/ttyS0") : listed.first();
#endif
}
void TdatViewer::SetSerialPort(const QString &value)
{
    WriteText("Connection", "SerialPort", value);
}
int TdatViewer::GetBaudRate() const
{
    return ReadInt("Connection", "BaudRate", 9600, 9600);
}
void TdatViewer::SetBaudRate(int value)
{
    WriteInt("Connection", "BaudRate", value);
}
int TdatViewer::GetDataBits() const
{
    return ReadInt("Connection", "DataBits", 8, 8);
}
void TdatViewer::SetDataBits(int value)
{
    WriteInt("Connection", "DataBits", value);
}
int TdatViewer::GetStopBits() const
{
    return ReadInt("Connection", "StopBits", 1, 1);
}
void TdatViewer::SetStopBits(int value)
{
    WriteInt("Connection", "StopBits", value);
}
int TdatViewer::GetParityBits() const
{
    return ReadInt("Connection", "ParityBits", 0, 0);
}
void TdatViewer::SetParityBits(int value)
{
    WriteInt("Connection", "ParityBits", value & 0x7F);
}
int TdatViewer::GetSerialAddress() const
{
    return ReadInt("Connection", "SerialAddress", 0, 0);
}
void TdatViewer::SetSerialAddress(int value)
{
    WriteInt("Connection", "SerialAddress", value);
}
int TdatViewer::GetSerialCable() const
{
    return ReadInt("Connection", "SerialCable", 0, 0);
}
void TdatViewer::SetSerialCable(int value)
{
    WriteInt("Connection", "SerialCable", value & 0x7F);
}
QString TdatViewer::GetTcpHostname() const
{
    return ReadText("Connection", "TcpHostname", DefaultTcpHost, QString());
}
void TdatViewer::SetTcpHostname(const QString &value)
{
    WriteText("Connection", "TcpHostname", value);
}
int TdatViewer::GetTcpPort() const
{
    return ReadInt("Connection", "TcpPort", 2222, 2222);
}
void TdatViewer::SetTcpPort(int value)
{
    WriteInt("Connection", "TcpPort", value);
}
int TdatViewer::GetTcpTimeout() const
{
    return ReadInt("Connection", "TcpTimeout", 70, 70);
}
void TdatViewer::SetTcpTimeout(int value)
{
    WriteInt("Connection", "TcpTimeout", value);
}

int TdatViewer::GetSerTimeout() const
{
    return ReadInt("Comms", "SerTimeout", 20, 20);
}
void TdatViewer::SetSerTimeout(int value)
{
    WriteInt("Comms", "SerTimeout", value);
}

bool TdatViewer::GetReadAllSettings() const
{
    return ReadBool("Options", "ReadAllSettings", true, true);
}
void TdatViewer::SetReadAllSettings(bool value)
{
    WriteBool("Options", "ReadAllSettings", value);
}
bool TdatViewer::GetAllowSaveBlock() const
{
    return ReadBool("Options", "AllowSaveBlock", false, false);
}
void TdatViewer::SetAllowSaveBlock(bool value)
{
    WriteBool("Options", "AllowSaveBlock", value);
}
bool TdatViewer::GetRememberMenus() const
{
    return ReadBool("Options", "RememberMenus", true, true);
}
void TdatViewer::SetRememberMenus(bool value)
{
    WriteBool("Options", "RememberMenus", value);
}
bool TdatViewer::GetFirstRun() const
{
    return ReadBool("Options", "FirstRun", true, true);
}
void TdatViewer::SetFirstRun(bool value)
{
    WriteBool("Options", "FirstRun", value);
}
bool TdatViewer::GetFastOptoLink() const
{
    return ReadBool("Options", "FastOptoLink", false, false);
}
void TdatViewer::SetFastOptoLink(bool value)
{
    WriteBool("Options", "FastOptoLink", value);
}

int TdatViewer::GetCurrentLang() const
{
    return ReadInt("Language", "CurrentLang", 1, 1);
}
void TdatViewer::SetCurrentLang(int value)
{
    WriteInt("Language", "CurrentLang", value);
}

QString TdatViewer::GetCsvDir() const
{
    return ReadText("DataStore", "CsvDir", QString(), QString());
}
void TdatViewer::SetCsvDir(const QString &value)
{
    WriteText("DataStore", "CsvDir", value);
}
int TdatViewer::GetFontSize() const
{
    return ReadInt("DataStore", "FontSize", 10, 9);
}
void TdatViewer::SetFontSize(int value)
{
    WriteInt("DataStore", "FontSize", value);
}
int TdatViewer::GetLeftMargin() const
{
    return ReadInt("DataStore", "LeftMargin", 8, 8);
}
void TdatViewer::SetLeftMargin(int value)
{
    WriteInt("DataStore", "LeftMargin", value);
}

QString TdatViewer::GetViewerName() const
{
    return ReadText("About", "ViewerName", "ViewMarl", "ViewMarl");
}
void TdatViewer::SetViewerName(const QString &value)
{
    WriteText("About", "ViewerName", value);
}
QString TdatViewer::GetLogo() const
{
    return ProgramPath(ReadText("About", "Logo", QString(), QString()));
}
void TdatViewer::SetLogo(const QString &value)
{
    WriteText("About", "Logo", value);
}
QString TdatViewer::GetComment(int line) const
{
    if (line < 1 || line > 6)
        return QString();
    return ReadText("About", "Comment" + QByteArray::number(line), QString(), QString());
}
void TdatViewer::SetComment(int line, const QString &value)
{
    if (line >= 1 && line <= 6)
        WriteText("About", "Comment" + QByteArray::number(line), value);
}
QString TdatViewer::GetCopyright() const
{
    return ReadText("About", "Copyright", QString(), QString());
}
void TdatViewer::SetCopyright(const QString &value)
{
    WriteText("About", "Copyright", value);
}

QString TdatViewer::GetFormIcon() const
{
    return ProgramPath(ReadText("Images", "FormIcon", QString(), QString()));
}
void TdatViewer::SetFormIcon(const QString &value)
{
    WriteText("Images", "FormIcon", value);
}
QString TdatViewer::GetInstrument() const
{
    return ImagePath("Instrument");
}
void TdatViewer::SetInstrument(const QString &value)
{
    SetImage("Instrument", value);
}

QString TdatViewer::ImagePath(const QString &key) const
{
    // An empty model text (no instrument) has no key of its own and gets the default picture.
    const QByteArray name = key.toUtf8();
    const QString stored =
        name.isEmpty() ? QString("panel.jpg") : ReadText("Images", name, "panel.jpg", QString());
    return ProgramPath(stored.isEmpty() ? QString("panel.jpg") : stored);
}

void TdatViewer::SetImage(const QString &key, const QString &value)
{
    if (!key.isEmpty())
        WriteText("Images", key.toUtf8(), value);
}

int TdatViewer::ReplyTimeoutTicks() const
{
    return GetConnectionType() == 1 ? GetTcpTimeout() : GetSerTimeout();
}
