// The desktop program's way of telling the user: modal message boxes with fixed texts and the wait
// cursor around instrument queries.
#pragma once

#include "link/reporter.h"

#include <QPointer>
#include <QWidget>

class TMessageBoxReporter : public TReporter
{
public:
    // Boxes are centred on the parent (the main window), or on the screen without one.
    explicit TMessageBoxReporter(QWidget *parent = nullptr) : Parent(parent) {}
    void Error(const QString &text) override;
    void Info(const QString &text) override;
    void Message(const QString &text) override;
    void NotResponding(const QString &text) override;
    bool Ask(const QString &text) override;
    void BeginBusy() override;
    void EndBusy() override;

private:
    QPointer<QWidget> Parent;
    // The not-responding box while it is open: never a second one over it.
    QPointer<QWidget> NotRespondingBox;
};
