// Message boxes and the wait cursor (see uireporter.h).
#include "shell/ui/uireporter.h"

#include <QApplication>
#include <QMessageBox>

void TMessageBoxReporter::Error(const QString &text)
{
    QMessageBox::critical(Parent, QApplication::applicationDisplayName(), text);
}

void TMessageBoxReporter::Info(const QString &text)
{
    QMessageBox::information(Parent, QApplication::applicationDisplayName(), text);
}

void TMessageBoxReporter::Message(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), text, QMessageBox::Ok,
                    Parent);
    box.exec();
}

bool TMessageBoxReporter::Ask(const QString &text)
{
    return QMessageBox::question(Parent, QApplication::applicationDisplayName(), text,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TMessageBoxReporter::BeginBusy()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void TMessageBoxReporter::EndBusy()
{
    QApplication::restoreOverrideCursor();
}
