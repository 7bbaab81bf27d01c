// PDF files written whole or not at all (see printfile.h).
#include "base/ui/printfile.h"

#include "base/wholefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QTemporaryFile>
#include <algorithm>
#include <cerrno>
#include <cstring>

TPdfFile::TPdfFile(const QString &target) : Target(target)
{
    const QFileInfo info(Target);
    QTemporaryFile temporary(info.absolutePath() + QStringLiteral("/.") + info.completeBaseName() +
                             QStringLiteral("-XXXXXX.pdf"));
    temporary.setAutoRemove(false);
    // Without a temporary file the target is written as it is, and Finish still checks it.
    if (!temporary.open())
        return;
    Temporary = temporary.fileName();
}

TPdfFile::~TPdfFile()
{
    if (!Temporary.isEmpty())
        QFile::remove(Temporary);
}

bool PdfFileComplete(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 32)
        return false;
    const qint64 tail = std::min<qint64>(file.size(), 1024);
    if (!file.seek(file.size() - tail))
        return false;
    const QByteArray end = file.read(tail).trimmed();
    const qsizetype at = end.lastIndexOf("startxref");
    if (!end.endsWith("%%EOF") || at < 0)
        return false;
    bool ok = false;
    const qint64 xref = end.mid(at + 9, end.size() - at - 9 - 5).trimmed().toLongLong(&ok);
    return ok && xref >= 0 && xref < file.size() && file.seek(xref) && file.read(4) == "xref";
}

bool TPdfFile::Finish(QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = Temporary.isEmpty() ? QStringLiteral("Could not write %1: %2. The file is not complete.")
                                               .arg(QDir::toNativeSeparators(Target), why)
                                         : WriteFailedText(Target, why);
        return false;
    };
    // The PDF writer does not report failed writes: the file itself shows whether all of it came.
    if (!PdfFileComplete(WritePath()))
        return fail(QStringLiteral("the PDF is incomplete (the disk may be full)"));
    QFile file(WritePath());
    if (!file.open(QIODevice::ReadWrite) || !SyncFile(file))
        return fail(file.errorString() + QStringLiteral(" (while syncing it to disk)"));
    file.close();
    if (Temporary.isEmpty())
        return true;
    if (!ReplaceFile(Temporary, Target))
        return fail(QString::fromLocal8Bit(std::strerror(errno)) +
                    QStringLiteral(" (while putting it in place of the earlier file)"));
    SyncDirectory(QFileInfo(Target).absolutePath());
    Temporary.clear();
    return true;
}

TPrintFileGuard::TPrintFileGuard(QPrinter &printer) : Printer(printer)
{
    if (printer.outputFormat() != QPrinter::PdfFormat || printer.outputFileName().isEmpty())
        return;
    Target = printer.outputFileName();
    File = std::make_unique<TPdfFile>(Target);
    printer.setOutputFileName(File->WritePath());
    printer.setOutputFormat(QPrinter::PdfFormat);
}

TPrintFileGuard::~TPrintFileGuard()
{
    if (File)
        Printer.setOutputFileName(Target);
}

bool TPrintFileGuard::Finish(QString *error)
{
    return !File || File->Finish(error);
}
