// The help window (see help.h).
#include "shell/ui/help.h"

#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

TFrmHelp::TFrmHelp(const QString &fileName, QWidget *parent) : QWidget(parent, Qt::Window), File(fileName)
{
    setObjectName("FrmHelp");
    setWindowTitle("Help");
    Browser = new QTextBrowser(this);
    Browser->setObjectName("Browser");
    Browser->setOpenExternalLinks(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Browser);
    resize(760, 640);
}

bool TFrmHelp::ShowStart()
{
    if (!QFileInfo(File).isFile())
        return false;
    Browser->setSource(QUrl::fromLocalFile(File));
    Browser->home();
    show();
    raise();
    activateWindow();
    return true;
}
