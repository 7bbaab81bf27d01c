// TReportsUi: Instrument > Allocation Report and Instrument > Factory Test Results in the main
// window: reads the instrument with the main controls locked, then shows the report's window.
#pragma once

#include <QObject>
#include <functional>

class QAction;
class QPrinter;
class TFrmMain;

class TReportsUi : public QObject
{
    Q_OBJECT
public:
    explicit TReportsUi(TFrmMain &window);
    void AllocationReport1Click();
    void FactoryTestResults1Click();

    QAction *FactoryTestResults1;
    // Handed to the allocation report's window: tests answer its print dialog.
    std::function<bool(QPrinter &printer)> AskPrinter;
    TFrmMain &Window;
};
