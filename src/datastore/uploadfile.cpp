// The store file as an upload finds it: its last sound line read backwards, whatever damaged lines
// follow it, and whole store files copied (the work copy, the backup). See upload.h.
#include "upload.h"

#include "recordfile.h"

#include <QFile>
#include <algorithm>

QByteArray ReadPreviousLine(QFileDevice &file, bool &startReached)
{
    // Back in blocks of 256 bytes until an LF or the start of the file: a line longer than one
    // block is still read whole (gathered once at the end), and the start is reached only when it
    // really is. The line keeps every byte: a scrambled line may well end in a CR.
    const qint64 e = file.pos();
    qint64 b = e;
    QList<QByteArray> pieces; // last first
    for (;;) {
        const qint64 from = std::max<qint64>(0, b - 256);
        file.seek(from);
        const QByteArray bytes = file.read(b - from);
        const qsizetype lf = bytes.lastIndexOf('\n');
        if (lf >= 0) {
            pieces << bytes.mid(lf + 1);
            file.seek(from + lf);
            startReached = false;
            break;
        }
        pieces << bytes;
        b = from;
        if (from == 0 || bytes.size() != 256) {
            file.seek(0);
            startReached = true;
            break;
        }
    }
    std::reverse(pieces.begin(), pieces.end());
    return pieces.join();
}

TDsdOldFileInfo DsdUploadGetOldFileInfo(const QString &path, bool scramble,
                                        const std::function<void(const QString &)> &log)
{
    // The last sound line, looked for from the end in large blocks: a damaged file of many short
    // or very long lines is read once, not a small read per line. When it is a trailer, the search
    // goes on for the last sound record line before it.
    TDsdOldFileInfo info;
    QFile file(path);
    auto failed = [&] {
        info = TDsdOldFileInfo{};
        info.ReadFailed = true;
        info.ReadError = file.errorString();
        return info;
    };
    if (!file.open(QIODevice::ReadOnly))
        return failed();
    constexpr qint64 BlockSize = 1 << 16;
    QByteArray block;
    qint64 blockStart = file.size(); // block holds the bytes from blockStart on
    qint64 lineEnd = blockStart;     // the line looked at ends here (at its LF or the file's end)
    qint64 joinBudget = 2 * blockStart + (1 << 20);
    bool readError = false;
    // Bytes [from, from + n) of the file, from the block when it holds them.
    auto bytesAt = [&](qint64 from, qint64 n) {
        if (from >= blockStart && from + n <= blockStart + block.size())
            return block.mid(from - blockStart, n);
        QByteArray bytes;
        if (file.seek(from))
            bytes = file.read(n);
        if (bytes.size() != n)
            readError = true;
        return bytes;
    };
    for (;;) {
        qint64 lf = -1;
        for (qint64 searchEnd = lineEnd;;) {
            if (searchEnd > blockStart) {
                const qsizetype at =
                    QByteArrayView(block.constData(), searchEnd - blockStart).lastIndexOf('\n');
                if (at >= 0) {
                    lf = blockStart + at;
                    break;
                }
            }
            if (blockStart == 0)
                break;
            const qint64 from = std::max<qint64>(0, blockStart - BlockSize);
            if (!file.seek(from))
                return failed();
            block = file.read(blockStart - from);
            if (block.size() != blockStart - from)
                return failed();
            searchEnd = blockStart;
            blockStart = from;
        }
        // The line from `start` to lineEnd, its first bytes unscrambled and checked: true when it
        // ends the search (a sound record line).
        auto sound = [&](qint64 start) {
            if (lineEnd - start < 30)
                return false;
            const qint64 examined = std::min<qint64>(lineEnd - start, MaxLineExamined);
            QByteArray line = bytesAt(start, examined);
            if (scramble)
                line = UnscrambleLine(line);
            uint32_t sequence = 0;
            const TDsdParsedLine r =
                DsdRecordParse(line.constData(), static_cast<std::size_t>(line.size()), sequence);
            if (log)
                log(QStringLiteral("OK?:0x%1 clen:%2 seq:%3 ID:%4 YMD:%5 HMS:%6")
                        .arg(r.Verdict, 2, 16, QLatin1Char('0'))
                        .arg(line.size())
                        .arg(r.Seq)
                        .arg(r.Number)
                        .arg(r.Date)
                        .arg(r.Time));
            // Read backwards the sequence test means nothing.
            if (line.size() != examined || (r.Verdict != 0 && r.Verdict != VerdictFileTamper))
                return false;
            if (info.Found && r.IsTrailer())
                return false; // a trailer before the trailer: go on looking for a record
            if (!info.Found) {
                info.Found = true;
                info.LastSequence = r.Seq;
                info.LastNumber = r.Number;
                info.TrailerFound = r.IsTrailer();
                info.LineStart = start;
                if (info.TrailerFound)
                    return false;
            }
            // A sound line has its five numeric fields: the record starts after the second comma.
            const qsizetype first = line.indexOf(',');
            info.RecordFound = true;
            info.RecordNumber = r.Number;
            info.RecordText = line.mid(line.indexOf(',', first + 1) + 1);
            return true;
        };
        if (sound(lf + 1))
            break;
        if (readError)
            return failed();
        // A long scrambled line may hold a byte that became an LF, as the loader knows: the line
        // then starts after an earlier LF (or at the file's start) less than MaxLineExamined bytes
        // before this one. A damaged file gets only so many such tries.
        const bool trailerJustFound = info.TrailerFound && info.LineStart == lf + 1;
        if (scramble && lf >= 0 && joinBudget > 0 && !trailerJustFound) {
            const qint64 from = std::max<qint64>(0, lf - MaxLineExamined);
            const QByteArray window = bytesAt(from, lf - from);
            if (readError)
                return failed();
            bool joined = false;
            for (qsizetype at = window.size(); !joined && at > 0 && joinBudget > 0;) {
                at = QByteArrayView(window.constData(), at).lastIndexOf('\n');
                if (at < 0 && from > 0)
                    break;
                // A line starts with its check field: most starts fail on their first byte.
                const qint64 start = from + at + 1;
                const char first =
                    static_cast<char>((start < lf ? window[start - from] : '\n') - (1 + ScrambleConstant));
                uint32_t seq = 0;
                --joinBudget;
                if (DsdRecordFieldsOutlook(&first, 1, seq) == TFieldsOutlook::Failed)
                    continue;
                joinBudget -= std::min<qint64>(lineEnd - start, MaxLineExamined);
                joined = sound(start);
                if (readError)
                    return failed();
            }
            if (joined)
                break;
        }
        if (lf < 0)
            break;
        lineEnd = lf;
    }
    if (file.error() != QFileDevice::NoError)
        return failed();
    return info;
}

bool CopyStoreFile(const QString &source, const QString &target, QString *error)
{
    QFile in(source);
    QFile out(target);
    auto fail = [&](const QFile &file) {
        if (error)
            *error = file.fileName() + QStringLiteral(": ") + file.errorString();
        return false;
    };
    if (!in.open(QIODevice::ReadOnly))
        return fail(in);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(out);
    QByteArray block(262144, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(block.data(), block.size());
        if (n < 0)
            return fail(in);
        if (n == 0)
            break;
        if (out.write(block.constData(), n) != n)
            return fail(out);
    }
    // A failed read after some bytes came gives those bytes: the failure is only in error().
    if (in.error() != QFileDevice::NoError)
        return fail(in);
    if (!out.flush())
        return fail(out);
    out.close();
    return out.error() == QFileDevice::NoError || fail(out);
}
