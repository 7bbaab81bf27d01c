// A picture of the main window (see screenshot.h).
#include "shell/ui/screenshot.h"

#include "reports/chart/factorychart.h"
#include "shell/ui/identpanel.h"
#include "shell/ui/main.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>
#include <memory>

void TakeScreenshotWhenReady(TFrmMain *window, const QString &file, std::function<void(bool)> done,
                             int limitMs, int settleMs)
{
    QPointer<TFrmMain> w(window);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    auto poll = std::make_shared<QTimer>();
    poll->setInterval(100);
    QObject::connect(poll.get(), &QTimer::timeout, window, [w, file, done, clock, poll, limitMs, settleMs] {
        if (!w) {
            poll->stop();
            done(false);
            return;
        }
        if (w->IdentPanel->Text().isEmpty() && clock->elapsed() < limitMs)
            return;
        poll->stop();
        // Let a few display polls draw the front panel before the picture is taken.
        QTimer::singleShot(settleMs, w, [w, file, done] {
            if (!w) {
                done(false);
                return;
            }
            QDir().mkpath(QFileInfo(file).absolutePath());
            // On a real display (Xvfb included) the picture comes from the screen itself; off
            // screen there is none, and the window draws itself into the picture.
            QPixmap picture;
            if (QGuiApplication::platformName() != "offscreen" && w->screen())
                picture = w->screen()->grabWindow(w->winId());
            if (picture.isNull())
                picture = w->grab();
            QString why;
            const bool saved = SavePngWhole(picture.toImage(), file, why);
            if (saved)
                std::printf("Screenshot saved to %s\n", qPrintable(QFileInfo(file).absoluteFilePath()));
            else
                std::printf("Screenshot not saved. %s\n", qPrintable(why));
            std::printf("Window: %s\n", qPrintable(w->windowTitle()));
            std::printf("Tab: %s\n", qPrintable(w->PgCMain->tabText(w->PgCMain->currentIndex())));
            std::printf("Status: %s\n", qPrintable(w->IdentPanel->Text()));
            std::fflush(stdout);
            done(saved);
        });
    });
    poll->start();
}
