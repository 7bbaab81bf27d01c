// The main window's front-panel mimics on the Display and Calibration tabs: created, fed by the
// front panel, given the instrument's picture and data plate, and placed at the picture's aspect.
#include "shell/ui/main.h"

#include "base/dmViewer.h"
#include "display/plate.h"
#include "display/ui/FrontPanel.h"
#include "display/ui/VornLCD.h"
#include "link/reporter.h"
#include "link/transact.h"

#include <QEvent>
#include <QLayout>
#include <QScreen>
#include <QStatusBar>

// --- the front-panel mimics ----------------------------------------------------------------------

void TFrmMain::CreateMimics()
{
    DisplayMimic = new TVornLCD(DisplayMimicHost, Config.ProgramDir());
    DisplayMimic->setObjectName("DisplayMimic");
    DisplayMimicHost->layout()->addWidget(DisplayMimic);
    // The filler below the picture takes what the picture's aspect leaves of the tab.
    auto *filler = new QWidget(DisplayMimicHost);
    filler->setObjectName("DisplayFiller");
    DisplayMimicHost->layout()->addWidget(filler);
    CalMimic = new TVornLCD(CalMimicHost, Config.ProgramDir());
    CalMimic->setObjectName("CalMimic");
    // A missing mask or an unreadable picture is said once; the glass still shows, unlit.
    auto lastFailure = std::make_shared<QString>(); // both mimics meet the same missing file
    for (TVornLCD *mimic : {DisplayMimic, CalMimic})
        connect(mimic, &TLumMimic::Failed, this, [this, lastFailure](const QString &message) {
            if (message != *lastFailure)
                Reporter->Error(message);
            *lastFailure = message;
        });
    FrontPanel = new TFrontPanel(Engine, this);
    FrontPanel->SetMimics(DisplayMimic, CalMimic);
    // A refused key is said briefly where the user looks next, without a box to click away.
    FrontPanel->OnKeyRefused = [this](const QString &text) {
        statusBar()->setStyleSheet("");
        statusBar()->showMessage(text, KeyRefusalShownMs);
    };
    Hooks.BlankDisplayMimic = [this] {
        FrontPanel->BlankBoth();
        DisplayMimic->DrawLCD();
    };
    Hooks.SetMimicPicture = [this](const QString &picture) {
        DisplayMimic->SetPictureFile(picture);
        CalMimic->SetPictureFile(picture);
    };
    TSDisplay->installEventFilter(this);
    CalMimicHost->installEventFilter(this);
    PlaceMimics();
}

void TFrmMain::ShowCapacityPlate(bool read)
{
    const QByteArray plate = read && Engine->LinkOpen() ? ReadCapacityPlate(*Engine) : QByteArray();
    for (TVornLCD *mimic : {DisplayMimic, CalMimic})
        if (mimic)
            mimic->SetPlateText(QString::fromLatin1(plate));
}

void TFrmMain::PlaceMimics()
{
    // The front-panel picture keeps its aspect of 1000:491.
    if (DisplayMimic) {
        // Its fixed height is part of the window's minimum: a window too short for it grows, but
        // never past the screen (a maximised wide window would not fit otherwise).
        int height = TSDisplay->width() * 491 / 1000;
        if (QScreen *s = screen()) {
            const int room = s->availableGeometry().height() - (this->height() - TSDisplay->height());
            height = std::min(height, std::max(120, room));
        }
        DisplayMimic->setFixedHeight(height);
    }
    if (CalMimic) {
        const int h = std::max(0, CalMimicHost->height());
        const int w = std::min(CalMimicHost->width(), h * 1000 / 491);
        const int fittedHeight = w * 491 / 1000;
        CalMimic->setGeometry((CalMimicHost->width() - w) / 2, 0, w, fittedHeight);
    }
}

bool TFrmMain::eventFilter(QObject *watched, QEvent *event)
{
    // The tabs get their new size after the window's: place the mimics when they do.
    if (event->type() == QEvent::Resize && (watched == TSDisplay || watched == CalMimicHost))
        PlaceMimics();
    return QMainWindow::eventFilter(watched, event);
}
