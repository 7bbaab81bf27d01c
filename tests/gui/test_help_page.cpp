// The help page shipped beside the program keeps up with the window: every menu entry, toolbar
// button and tab is named in it, and every link inside the page leads to a place in it.
#include "gui_support.h"

#include "base/dmViewer.h"
#include "shell/ui/main.h"
#include "shell/ui/startup.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolBar>

namespace
{

QString HelpPage()
{
    QFile file(QStringLiteral(BRELLIN_SOURCE_DIR "/assets/files/brellin.html"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

TEST(HelpPage, NamesEveryMenuEntryToolbarButtonAndTabAndItsLinksLeadSomewhere)
{
    TProgramFolder folder;
    TdatViewer config(folder.Ini());
    TRecordingReporter reporter;
    const auto window = CreateMainWindow(config, {}, &reporter);
    ASSERT_TRUE(window);
    const QString html = HelpPage();
    ASSERT_FALSE(html.isEmpty());
    // The page as the help window's text browser reads it.
    QTextDocument page;
    page.setHtml(html);
    const QString text = page.toPlainText();

    QStringList names;
    for (QAction *menu : window->menuBar()->actions()) {
        names << menu->text();
        for (QAction *entry : menu->menu()->actions())
            if (!entry->isSeparator())
                names << entry->text();
    }
    for (QAction *button : window->ToolBar1->actions())
        if (!button->isSeparator())
            names << button->text();
    for (int i = 0; i < window->PgCMain->count(); ++i)
        names << window->PgCMain->tabText(i);
    QStringList missing;
    for (QString name : names) {
        name.remove('&');
        if (!name.isEmpty() && !text.contains(name))
            missing << name;
    }
    EXPECT_EQ(missing.join(", ").toStdString(), "") << "named in the window but not in the help page";

    QSet<QString> places;
    QStringList links;
    for (QTextBlock block = page.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            for (const QString &name : format.anchorNames())
                places.insert(name);
            if (format.anchorHref().startsWith('#'))
                links << format.anchorHref().mid(1);
        }
    EXPECT_GT(links.size(), 20);
    QStringList broken;
    for (const QString &link : links)
        if (!places.contains(link))
            broken << link;
    EXPECT_EQ(broken.join(", ").toStdString(), "") << "links without a place to go to";
}
