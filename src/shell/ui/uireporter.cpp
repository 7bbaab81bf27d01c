// Message boxes and the wait cursor (see uireporter.h).
#include "shell/ui/uireporter.h"

#include "i18n/LumsLang.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

void TMessageBoxReporter::Error(const QString &text)
{
    QMessageBox::critical(Parent, QApplication::applicationDisplayName(), text);
}

void TMessageBoxReporter::NotResponding(const QString &text)
{
    if (NotRespondingBox)
        return;
    // Not modal: a wait that runs the event loop is not held up by it, and the click that stops a
    // recording or cancels an upload still reaches its button.
    auto *box = new QMessageBox(QMessageBox::Critical, QApplication::applicationDisplayName(),
                                LangText("Messages", "NotResponding", text), QMessageBox::Ok, Parent);
    box->setObjectName("NotRespondingBox");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    NotRespondingBox = box;
    box->show();
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
    // The buttons in the program's language (Qt's own words are English).
    QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(), text,
                    QMessageBox::Yes | QMessageBox::No, Parent);
    box.button(QMessageBox::Yes)->setText(LangText("Messages", "ButtonYes", "Yes"));
    box.button(QMessageBox::No)->setText(LangText("Messages", "ButtonNo", "No"));
    return box.exec() == QMessageBox::Yes;
}

void TMessageBoxReporter::BeginBusy()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void TMessageBoxReporter::EndBusy()
{
    QApplication::restoreOverrideCursor();
}
