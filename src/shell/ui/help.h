// The help window: the HTML help page beside the program, with its links followed inside.
#pragma once

#include <QWidget>

class QTextBrowser;

class TFrmHelp : public QWidget
{
    Q_OBJECT
public:
    TFrmHelp(const QString &fileName, QWidget *parent = nullptr);
    // Shows the page from its start; false when the file is missing.
    bool ShowStart();
    QTextBrowser *Browser;

private:
    QString File;
};
