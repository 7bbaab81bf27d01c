// A printout or chart that goes to a PDF file is drawn into a temporary file beside it and takes the
// file's name only when it is a complete PDF on disk: a full disk or an I/O error keeps the earlier file.
#pragma once

#include <QString>
#include <memory>

class QPrinter;

// The PDF file `target`, written first under WritePath().
class TPdfFile
{
public:
    explicit TPdfFile(const QString &target);
    TPdfFile(const TPdfFile &) = delete;
    TPdfFile &operator=(const TPdfFile &) = delete;
    // A temporary file not put in place is removed.
    ~TPdfFile();
    // Where the PDF writer writes (the target itself when no temporary file could be made).
    QString WritePath() const { return Temporary.isEmpty() ? Target : Temporary; }
    // After the writer is done: true when the PDF is complete, synced and in place of the target;
    // else false with the message in `error`.
    bool Finish(QString *error);

private:
    QString Target, Temporary;
};

// A printer that writes a PDF file writes it through a TPdfFile; other printers print as they are.
class TPrintFileGuard
{
public:
    // Before the painter begins.
    explicit TPrintFileGuard(QPrinter &printer);
    TPrintFileGuard(const TPrintFileGuard &) = delete;
    TPrintFileGuard &operator=(const TPrintFileGuard &) = delete;
    // The printer names the chosen file again.
    ~TPrintFileGuard();
    // After the painter has ended: true when the printout went to a printer or its PDF file is in
    // place; else false with the message in `error`.
    bool Finish(QString *error);

private:
    QPrinter &Printer;
    QString Target;
    std::unique_ptr<TPdfFile> File;
};

// Whether `path` holds a complete PDF: it ends with "%%EOF" after a "startxref" whose offset
// points at the cross-reference table. A PDF cut short or with lost pieces fails this.
bool PdfFileComplete(const QString &path);
