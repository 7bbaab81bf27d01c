// TFrmDebug: the debug log window, created hidden at start and shown only with "-d"; other parts of
// the program add diagnostic lines to it.
#pragma once

#include <QWidget>

class QPlainTextEdit;

class TFrmDebug : public QWidget
{
    Q_OBJECT
public:
    explicit TFrmDebug(QWidget *parent = nullptr);
    // Appends a line, only while the window is shown.
    void Add(const QString &text);
    QPlainTextEdit *Memo;

protected:
    // The caption in the program's language as it is when the window is shown.
    void showEvent(QShowEvent *event) override;
};
