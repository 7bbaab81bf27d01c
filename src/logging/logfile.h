// The log file: comment, column header and one line per point, CR LF, UTF-8 text (files of older
// versions in Latin-1 still read), "." decimals.
// Writing and reading whole logs, and a writer that appends samples as they are accepted (the
// command line's recording and the desktop program's recovery file).
#pragma once

#include "logmodel.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

// The column header: live "Time,Weight(kg),Motion,IO3," (channels of the traces), loaded
// "Time,Weight,<labels of the series that hold points>".
QByteArray LogHeader(const TLogModel &log);
// One data line: "12.40,105.5" and ",1.00" / ",0.00" per trace listed. Traces without a value
// at this point (a loaded file with gaps) keep their position with an empty field.
QByteArray LogDataLine(double t, const QByteArray &weight, const QList<double> &traces,
                       const QList<bool> &present = {});
// Appends the comment, header and data lines of the log.
void WriteLogCsv(const TLogModel &log, QList<QByteArray> &lines);
// Replaces the log with a file's lines (fewer than 3 lines: the series stay empty). A number that
// a log cannot hold exactly (more than LogMaxDigits significant digits) refuses the whole file:
// false with the line and field in *error, and the log is left as it was.
bool ReadLogCsv(TLogModel &log, const QList<QByteArray> &lines, QString *error = nullptr);
// A recording read back from a recovery file is still the live recording it was: with its live
// header ("Time,Weight(kg),IO3,") taken as channels, saving it writes what a save before the end
// of its window would have written. False (and the log unchanged) for any other header.
bool TakeLiveHeader(TLogModel &log, const QByteArray &header);
// Significant digits a number of a log file may have: a double holds them exactly, so a log saved
// again writes the same figures.
inline constexpr int LogMaxDigits = 15;
// A comment or header line as UTF-8: kept when it is UTF-8, else read as Latin-1 (the 8-bit files of
// older versions) and converted.
QByteArray LogTextToUtf8(const QByteArray &text);

// The lines of a file's text: split at CR LF (or a lone LF); a final line end adds no line.
QList<QByteArray> SplitLogLines(const QByteArray &text);
// The name a log is saved under: ".CSV" added when the name has no extension.
QString LogFileName(const QString &chosen);
// Whole-file reading and writing; false with the system's reason on failure. Writing replaces
// the file only once the new one is complete.
bool LoadLogLines(const QString &path, QList<QByteArray> *lines, QString *error);
bool SaveLogLines(const QString &path, const QList<QByteArray> &lines, QString *error);

// Writes a recording as it happens: comment and header first, then one line per accepted sample,
// each handed to the system at once, so a killed program leaves every line it accepted.
class TLogFileWriter
{
public:
    // Starts the file (replacing one of that name); false with the reason.
    bool Open(const QString &path, const TLogModel &log, QString *error);
    // The line of the point just accepted by the model (the last point of its series).
    bool AppendLast(const TLogModel &log);
    void Close();
    // The recording goes to `path` + ".part" and takes the name `path` only at Commit: an earlier
    // file of that name stays whole until then (a killed program leaves the ".part" file).
    bool OpenBeside(const QString &path, const TLogModel &log, QString *error);
    // Syncs the ".part" file and puts it in place of the path; false with the message (the
    // ".part" file is then removed and the earlier file stays).
    bool Commit(QString *error);
    bool IsOpen() const { return File.isOpen(); }
    QString Path() const { return File.fileName(); }
    QString ErrorText() const { return File.errorString(); }
    int64_t Lines() const { return Written; }

private:
    QFile File;
    int64_t Written = 0;
    QString Target; // the name OpenBeside's file takes at Commit
    QString OpenError;
    bool Failed = false;
};
