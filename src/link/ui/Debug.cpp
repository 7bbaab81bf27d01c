// TFrmDebug (see Debug.h).
#include "link/ui/Debug.h"

#include "i18n/LumsLang.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>

TFrmDebug::TFrmDebug(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName("FrmDebug");
    setWindowTitle("FrmDebug");
    Memo = new QPlainTextEdit(this);
    Memo->setObjectName("Memo");
    Memo->setReadOnly(true);
    Memo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QPalette p = Memo->palette();
    p.setColor(QPalette::Text, QColor(0, 0, 128));
    Memo->setPalette(p);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Memo);
    resize(480, 320);
}

void TFrmDebug::showEvent(QShowEvent *event)
{
    setWindowTitle(LangText("TFrmDebug", "Caption", "FrmDebug"));
    QWidget::showEvent(event);
}

void TFrmDebug::Add(const QString &text)
{
    if (isVisible())
        Memo->appendPlainText(text);
}
