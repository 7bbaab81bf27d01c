// The program's configuration store: the ini file beside the program, held in memory for the whole
// run, one getter and one setter per key, written back (atomically) when the program ends.
#pragma once

#include "base/inifile.h"

#include <QString>
#include <QStringList>

class TdatViewer
{
public:
    // The ini file beside the program (program folder + program base name + ".ini"), with the
    // per-user copy (QStandardPaths) for a program folder that cannot be written.
    TdatViewer();
    // An explicit file, for tests and tools. userIni, when given, is the per-user file, used only
    // when programIni's folder is not writable: it holds the keys the user changed and is read over
    // programIni. A writable program folder's ini is the only one read and written.
    // readOnlyProgramFolder treats programIni's folder as not writable whatever the file system says
    // (tests run with rights that write anywhere).
    explicit TdatViewer(const QString &programIni, const QString &userIni = QString(),
                        bool readOnlyProgramFolder = false);
    // Writes the file back if anything changed (errors are lost here: call Save to see them).
    ~TdatViewer();
    TdatViewer(const TdatViewer &) = delete;
    TdatViewer &operator=(const TdatViewer &) = delete;

    static QString DefaultProgramIni();
    static QString DefaultUserIni();

    // The ini file existed at start-up; without it every read gives a fixed value and writes are
    // ignored.
    bool IniPresent() const { return Present; }
    QString IniFileName() const { return ReadFrom; }
    // Where the file is written back: the program's ini, or the per-user file (the changed keys
    // only) when the program folder is not writable.
    QString SaveFileName() const { return WriteTo; }
    // The folder that pictures, the logo and the icon are relative to.
    QString ProgramDir() const { return ProgDir; }
    // A file beside the program named like the ini file with another extension ("lang", "html").
    QString ProgramFile(const QString &extension) const { return ProgDir + "/" + ProgBase + "." + extension; }
    bool Modified() const { return Dirty; }
    // Writes the memory copy to SaveFileName through a temporary file and a rename, so the file is
    // either the old one or the complete new one. Nothing to do without an ini file or changes.
    // On failure the text says why and the memory copy stays modified.
    bool Save(QString *error = nullptr);
    // What kept an ini from being read at start (larger than MaxTextFileBytes, a read error); such
    // a file is never written over.
    QStringList LoadProblems() const { return Problems; }

    // [Connection]
    int GetConnectionType() const;
    void SetConnectionType(int value); // low 7 bits
    // The stored port, else DefaultSerialPort of the ports the system lists (never stored by this).
    QString GetSerialPort() const;
    void SetSerialPort(const QString &value);
    // The port a configuration without one starts from: COM1 on Windows; elsewhere the first of
    // the listed ports, or /dev/ttyS0 when none is listed.
    static QString DefaultSerialPort(const QStringList &listed);
    int GetBaudRate() const;
    void SetBaudRate(int value);
    int GetDataBits() const;
    void SetDataBits(int value);
    int GetStopBits() const;
    void SetStopBits(int value);
    int GetParityBits() const;
    void SetParityBits(int value); // low 7 bits
    int GetSerialAddress() const;
    void SetSerialAddress(int value);
    int GetSerialCable() const;
    void SetSerialCable(int value); // low 7 bits
    QString GetTcpHostname() const;
    void SetTcpHostname(const QString &value);
    int GetTcpPort() const;
    void SetTcpPort(int value);
    int GetTcpTimeout() const;
    void SetTcpTimeout(int value);
    // [Comms]
    int GetSerTimeout() const;
    void SetSerTimeout(int value);
    // [Options]
    bool GetReadAllSettings() const;
    void SetReadAllSettings(bool value);
    bool GetAllowSaveBlock() const;
    void SetAllowSaveBlock(bool value);
    // Menu structures of the models read are remembered (on unless turned off).
    bool GetRememberMenus() const;
    void SetRememberMenus(bool value);
    bool GetFirstRun() const;
    void SetFirstRun(bool value);
    bool GetFastOptoLink() const;
    void SetFastOptoLink(bool value);
    // [Language]
    int GetCurrentLang() const;
    void SetCurrentLang(int value);
    // [DataStore]
    QString GetCsvDir() const;
    void SetCsvDir(const QString &value);
    int GetFontSize() const;
    void SetFontSize(int value);
    int GetLeftMargin() const;
    void SetLeftMargin(int value);
    // [About]; the logo getter gives the full path, the setter takes the name relative to the
    // program folder.
    QString GetViewerName() const;
    void SetViewerName(const QString &value);
    QString GetLogo() const;
    void SetLogo(const QString &value);
    QString GetComment(int line) const; // line 1..6
    void SetComment(int line, const QString &value);
    QString GetCopyright() const;
    void SetCopyright(const QString &value);
    // [Images]
    QString GetFormIcon() const;
    void SetFormIcon(const QString &value);
    QString GetInstrument() const; // = ImagePath("Instrument")
    void SetInstrument(const QString &value);
    // The picture for a key of the Images section (a model text, or "Instrument"): the program
    // folder followed by the stored name, "panel.jpg" when absent; empty without an ini file.
    QString ImagePath(const QString &key) const;
    void SetImage(const QString &key, const QString &value);

    // The reply time-out in ticks of 100 ms: TcpTimeout on TCP, else SerTimeout.
    int ReplyTimeoutTicks() const;

    // The default instrument host: a private LAN address, never contacted by tests.
    static constexpr const char *DefaultTcpHost = "192.168.1.170";

private:
    void Load(const QString &programIni, const QString &userIni, bool readOnlyProgramFolder);
    int ReadInt(const char *section, const char *key, int def, int noIniDef) const;
    void WriteInt(const char *section, const char *key, int value);
    bool ReadBool(const char *section, const char *key, bool def, bool noIniDef) const;
    void WriteBool(const char *section, const char *key, bool value);
    QString ReadText(const char *section, const QByteArray &key, const QString &def,
                     const QString &noIniDef) const;
    void WriteText(const char *section, const QByteArray &key, const QString &value);
    QString ProgramPath(const QString &relative) const;

    TIniFile Ini;
    bool Present = false;
    QStringList Problems;
    QStringList Refused; // ini files not read at start, never written
    bool Dirty = false;
    QString ReadFrom;
    QString WriteTo;
    QString UserIni;
    QString ProgramIni;
    // The per-user file lies over the shipped ini (the program folder cannot be written).
    bool UserMode = false;
    // The ini as shipped, to tell the user's changes from it.
    TIniFile Shipped;
    // What the per-user file holds: the keys whose values differ from the shipped ini.
    QByteArray UserText() const;
    QString ProgDir;
    QString ProgBase;
};
