// The help window (see help.h).
#include "shell/ui/help.h"

#include "i18n/LumsLang.h"

#include <QFileInfo>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

TFrmHelp::TFrmHelp(const QString &fileName, QWidget *parent) : QWidget(parent, Qt::Window), File(fileName)
{
    setObjectName("FrmHelp");
    setWindowTitle(LangText("TFrmHelp", "Caption", "Help"));
    Browser = new QTextBrowser(this);
    Browser->setObjectName("Browser");
    Browser->setOpenExternalLinks(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Browser);
}

bool TFrmHelp::ShowStart()
{
    if (!QFileInfo(File).isFile())
        return false;
    Browser->setSource(QUrl::fromLocalFile(File));
    Browser->home();
    if (!isVisible()) {
        // The page at a reading width, never larger than the screen it opens on (title bar and
        // frame included).
        QSize size(760, 640);
        if (const QScreen *s = (parentWidget() ? parentWidget()->screen() : screen())) {
            const QRect room = s->availableGeometry();
            size = size.boundedTo(room.size() - QSize(16, 48));
            move(room.topLeft() +
                 QPoint((room.width() - size.width()) / 2, (room.height() - size.height()) / 3));
        }
        resize(size);
    }
    show();
    raise();
    activateWindow();
    return true;
}
