// Store directory and file naming of the local record store.
#include "storelayout.h"

#include "base/apppaths.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace
{
bool IsDigitChar(QChar ch)
{
    return ch >= QLatin1Char('0') && ch <= QLatin1Char('9');
}
} // namespace

QString PadLeftTo(const QString &text, int width, QChar fill)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' '))
        ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' '))
        --end;
    const QString trimmed = text.mid(begin, end - begin);
    if (trimmed.size() < width)
        return QString(width - trimmed.size(), fill) + trimmed;
    return trimmed.left(width);
}

QString MapIsnChars(const QString &text, bool reverse)
{
    QString result = text;
    if (!reverse) {
        for (QChar &ch : result)
            if (IsDigitChar(ch))
                ch = QLatin1Char(IsnEncodeTable[ch.unicode() - '0']);
        return result;
    }
    // Ordinal comparison of the UTF-16 code units, which for these names is the byte order.
    if (QString::compare(text, QLatin1String(IsnDecodeBound), Qt::CaseSensitive) > 0)
        return result;
    for (QChar &ch : result)
        if (ch >= QLatin1Char('a') && ch <= QLatin1Char('z'))
            ch = QLatin1Char(IsnDecodeTable[ch.unicode() - 'a']);
    return result;
}

QString BlankLeadingZeros(const QString &text)
{
    if (text.isEmpty())
        return text;
    QString result;
    result.reserve(text.size());
    bool keep = false;
    for (qsizetype p = 0; p + 1 < text.size(); ++p) {
        const QChar ch = text[p];
        const bool nextIsDigit = IsDigitChar(text[p + 1]);
        if (keep || ch != QLatin1Char('0') || !nextIsDigit) {
            result += ch;
            keep = true;
        } else {
            result += QLatin1Char(' ');
        }
    }
    result += text.back();
    return result;
}

namespace
{
const QLatin1String ClosedMark(".closed-");
const QLatin1String ClosedShown(" closed ");
const QString ClosedNameFormat = QStringLiteral("yyyyMMdd'T'HHmmss'Z'");
const QString ClosedShownFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'");
} // namespace

QString DsdIsnFromSearchRec(const QString &fileName)
{
    // ".isn." + ten characters + ".closed-" + the moment: a closed store file.
    if (fileName.size() > 15 && fileName.mid(15).startsWith(ClosedMark)) {
        const QDateTime at = QDateTime::fromString(fileName.mid(15 + ClosedMark.size()), ClosedNameFormat);
        if (at.isValid())
            return BlankLeadingZeros(MapIsnChars(fileName.mid(5, 10), true)) + ClosedShown +
                   QDateTime(at.date(), at.time(), Qt::UTC).toString(ClosedShownFormat);
    }
    return BlankLeadingZeros(MapIsnChars(fileName.mid(5, 99), true));
}

QString ClosedStoreName(const QString &path, const QDateTime &closed)
{
    return path + ClosedMark + closed.toUTC().toString(ClosedNameFormat);
}

TListedStore ParseListedStore(const QString &entry)
{
    const qsizetype at = entry.indexOf(ClosedShown);
    if (at < 0)
        return {entry, {}};
    const QDateTime when = QDateTime::fromString(entry.mid(at + ClosedShown.size()), ClosedShownFormat);
    if (!when.isValid())
        return {entry, {}};
    return {entry.left(at), when.toString(ClosedNameFormat)};
}

QString TDsdStoreLayout::StoreDirName()
{
    return QStringLiteral(u".D\u00e4t\u00e4St\u00f6r\u00eb");
}

QString TDsdStoreLayout::ParentDir() const
{
    if (!ExplicitDir.isEmpty())
        return QFileInfo(ExplicitDir).absolutePath();
    // An installed program's folder is read-only for its users.
    return AppPaths::WritableDir(AppPaths::UserFolder::Data);
}

QString TDsdStoreLayout::StoreDir() const
{
    if (!ExplicitDir.isEmpty())
        return QDir::cleanPath(ExplicitDir);
    return ParentDir() + QLatin1Char('/') + StoreDirName();
}

QString TDsdStoreLayout::DsdPathName(const QString &encodedName) const
{
    return StoreDir() + QLatin1Char('/') + QLatin1String(StoreFilePrefix) + encodedName;
}

QString TDsdStoreLayout::DsdIsnToDataStoreName(const QString &serial) const
{
    return DsdPathName(MapIsnChars(PadLeftTo(serial, 10, QLatin1Char('0')), false));
}

bool TDsdStoreLayout::EnsureStoreDir() const
{
    const QString dir = StoreDir();
    if (ExplicitDir.isEmpty() && ParentDir() != AppPaths::ProgramDir())
        LogLine(QStringLiteral(
            "The program's folder is not writable; the Data Store is kept in the user's data folder"));
    LogLine(dir);
    if (!QDir().mkpath(dir))
        return false;
    // The leading dot hides it; only its owner may look inside.
    if (QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
        LogLine(dir + QStringLiteral(" ..... setup OK"));
    return true;
}

QStringList TDsdStoreLayout::StoredInstruments() const
{
    QDir dir(StoreDir());
    const QStringList names =
        dir.entryList({QLatin1String(StoreFilePrefix) + QStringLiteral("??????????"),
                       QLatin1String(StoreFilePrefix) + QStringLiteral("??????????.closed-????????T??????Z")},
                      QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    QStringList shown;
    for (const QString &name : names) {
        LogLine(QStringLiteral("Found: ") + name);
        const QString isn = DsdIsnFromSearchRec(name);
        LogLine(QStringLiteral("Displ: ") + isn);
        shown += isn;
    }
    shown.sort(Qt::CaseSensitive);
    return shown;
}

QString TDsdStoreLayout::ListedPath(const QString &entry) const
{
    const TListedStore listed = ParseListedStore(entry);
    const QString path = DsdIsnToDataStoreName(listed.Serial);
    return listed.Closed.isEmpty() ? path : path + ClosedMark + listed.Closed;
}
