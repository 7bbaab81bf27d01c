// The allocation report's window and its printout through the text printer.
#include "reports/ui/AllocationReport.h"

#include "base/ui/printfile.h"
#include "base/ui/textprinter.h"
#include "i18n/LumsLang.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

TFrmAllocationReport::TFrmAllocationReport(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FrmAllocationReport"));
    setWindowTitle(QStringLiteral("Allocation Report"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    StringGrid1 = new QTableWidget(0, 4, this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->horizontalHeader()->hide();
    StringGrid1->verticalHeader()->hide();
    StringGrid1->setSelectionMode(QAbstractItemView::NoSelection);
    StringGrid1->setFocusPolicy(Qt::NoFocus);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const int widths[4] = {60, 60, 200, 200};
    int total = 0;
    for (int c = 0; c < 4; ++c) {
        StringGrid1->setColumnWidth(c, widths[c]);
        total += widths[c];
    }
    StringGrid1->setMinimumSize(
        total + StringGrid1->verticalScrollBar()->sizeHint().width() + 2 * StringGrid1->frameWidth(), 360);
    Button1 = new QPushButton(QStringLiteral("Ok"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    BtnPrint = new QPushButton(QStringLiteral("Print"), this);
    BtnPrint->setObjectName(QStringLiteral("BtnPrint"));
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnPrint, &QPushButton::clicked, this, &TFrmAllocationReport::BtnPrintClick);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(BtnPrint);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(StringGrid1);
    layout->addLayout(buttons);
}

void TFrmAllocationReport::SetRows(const QList<TAllocationRow> &rows)
{
    ReportRows = rows;
    StringGrid1->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < 4; ++c) {
            auto *cell = new QTableWidgetItem(QString::fromLatin1(rows[r].Cells[static_cast<size_t>(c)]));
            cell->setFlags(Qt::ItemIsEnabled); // shown, never selected
            StringGrid1->setItem(r, c, cell);
        }
        // A continuation row sits close under the row above it.
        if (!rows[r].Main && r > 0)
            StringGrid1->setRowHeight(r - 1, 16);
    }
}

void TFrmAllocationReport::BtnPrintClick()
{
    QPrinter printer(QPrinter::HighResolution);
    const bool chosen = AskPrinter ? AskPrinter(printer) : [&] {
        QPrintDialog dialog(&printer, this);
        dialog.setObjectName(QStringLiteral("PrintDialog"));
        return dialog.exec() == QDialog::Accepted;
    }();
    if (chosen)
        PrintReport(printer);
}

bool TFrmAllocationReport::PrintReport(QPrinter &printer)
{
    TPrintFileGuard output(printer);
    QPainter painter;
    if (!painter.begin(&printer)) {
        const QString text = LangText("Messages", "PrinterNotStarted", "The printer could not be started.");
        OnError ? OnError(text) : (void)QMessageBox::warning(this, windowTitle(), text);
        return false;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QFont font(QStringLiteral("Courier New"), 12);
    font.setStyleHint(QFont::Monospace);
    TTextPrinter text(printer, painter, font);
    // The three blank lines that open each page must fit on it too.
    text.Lines(
        AllocationPrintout(windowTitle().toLatin1(), ReportRows, std::max(1, text.LinesPerPage() - 3)));
    const bool ended = painter.end();
    QApplication::restoreOverrideCursor();
    QString error;
    if (!ended || !output.Finish(&error)) {
        const QString text = ended ? error : QStringLiteral("The printout could not be finished.");
        OnError ? OnError(text) : (void)QMessageBox::warning(this, windowTitle(), text);
        return false;
    }
    return true;
}
