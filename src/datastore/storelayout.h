// Where the local record store lives and how an instrument serial number names its file.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

// Digit d is written as IsnEncodeTable[d]; letters ascend so that names sort like the numbers.
inline const char IsnEncodeTable[] = "bcdfgjkmqw";
inline const char IsnDecodeTable[] = "T012534x256G78c38Zk1R79h4N";
// Names above this one are shown as they stand.
inline const char IsnDecodeBound[] = "fqcwbdmgkj";
inline const char StoreFilePrefix[] = ".isn.";

// Spaces trimmed at both ends, then filled on the left up to width or cut to width.
QString PadLeftTo(const QString &text, int width, QChar fill);
// Digits to code letters (reverse false) or code letters back to digits (reverse true).
QString MapIsnChars(const QString &text, bool reverse);
// Leading zeros of a number become spaces, the last digit stays: "0000012345" -> "     12345".
QString BlankLeadingZeros(const QString &text);
// The displayed serial number of a store file's name; for a closed store file (see
// ClosedStoreName) followed by " closed " and when: "   1234567 closed 2026-12-08 00:12:34 UTC".
QString DsdIsnFromSearchRec(const QString &fileName);

// A list entry taken apart: the serial number as listed, and for a closed store file the moment
// of its name ("20261208T001234Z"), else empty.
struct TListedStore {
    QString Serial;
    QString Closed;
};
TListedStore ParseListedStore(const QString &entry);
// The name a store file keeps once an instrument's records no longer continue it: the path with
// ".closed-" and the moment (UTC) it was closed, e.g. ".isn.bbbbbbbcdf.closed-20261208T001234Z".
QString ClosedStoreName(const QString &path, const QDateTime &closed);

class TDsdStoreLayout
{
public:
    // ".DätäStörë", the name of the store directory inside the program's folder.
    static QString StoreDirName();

    // The store directory: the one set, else beside the program when its folder is writable,
    // else in the per-user data directory.
    QString StoreDir() const;
    void SetStoreDir(const QString &dir) { ExplicitDir = dir; }
    // The folder that holds the store directory (named in the "could not create" message).
    QString ParentDir() const;

    QString DsdPathName(const QString &encodedName) const;
    QString DsdIsnToDataStoreName(const QString &serial) const;

    // Creates the directory when missing and makes it private; false when it cannot be created.
    bool EnsureStoreDir() const;
    // The displayed serial numbers of the stored instruments, sorted (lowest number first), each
    // followed by its closed store files (oldest first).
    QStringList StoredInstruments() const;
    // The store file of a list entry (closed ones included).
    QString ListedPath(const QString &entry) const;

    // The debug log.
    std::function<void(const QString &)> Log;

private:
    void LogLine(const QString &text) const
    {
        if (Log)
            Log(text);
    }
    QString ExplicitDir;
};
