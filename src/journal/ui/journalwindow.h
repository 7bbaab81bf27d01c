// Instrument > Change Journal: one instrument's journal as a table, newest first, filtered by date
// and kind, exported as CSV and printed; the chain's verdict and what it proves are shown with it.
#pragma once

#include "journal/journal.h"

#include <QDialog>

class QComboBox;
class QDateEdit;
class QLabel;
class QPrinter;
class QTableWidget;
class TReporter;

class TJournalWindow : public QDialog
{
    Q_OBJECT
public:
    // The journals of `storeDir`, showing `serial` first (empty: the first there is).
    TJournalWindow(const QString &storeDir, const QString &serial, TReporter *reporter,
                   QWidget *parent = nullptr);

    // Reads the chosen instrument's journal again and shows it.
    void Reload();
    // The events shown, newest first.
    const QList<TJournalEvent> &Shown() const { return ShownEvents; }
    // Writes the events shown as CSV; false with the reason.
    bool ExportCsv(const QString &path, QString *error) const;
    // Prints the events shown (one event a line, the verdict first).
    void PrintTo(QPrinter &printer) const;
    QString Verdict() const { return VerdictText; }

    QComboBox *Serials;
    QDateEdit *From, *To;
    QComboBox *Kinds;
    QTableWidget *Table;
    QLabel *Status;

private:
    void Show();
    void AskExport();
    void AskPrint();
    QString StoreDir;
    TReporter *Reporter;
    QList<TJournalEvent> AllEvents;
    QList<TJournalEvent> ShownEvents;
    QString VerdictText;
};
