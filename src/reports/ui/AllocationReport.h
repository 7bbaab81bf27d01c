// TFrmAllocationReport: the allocation report's window, its rows in a four-column grid whose cells
// cannot be selected, "Ok" to close and "Print" for the printout.
#pragma once

#include "reports/AllocationReport.h"

#include <QDialog>
#include <functional>

class QPrinter;
class QPushButton;
class QTableWidget;

class TFrmAllocationReport : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmAllocationReport(QWidget *parent = nullptr);
    void SetRows(const QList<TAllocationRow> &rows);
    const QList<TAllocationRow> &Rows() const { return ReportRows; }
    void BtnPrintClick();
    // Prints to a printer already set up (the print dialog's choice); false when it could not start.
    bool PrintReport(QPrinter &printer);

    // Tests answer the print dialog (true: print).
    std::function<bool(QPrinter &printer)> AskPrinter;
    // Where printing failures are told (a message box when not set).
    std::function<void(const QString &text)> OnError;

    QTableWidget *StringGrid1;
    QPushButton *Button1;
    QPushButton *BtnPrint;

private:
    QList<TAllocationRow> ReportRows;
};
