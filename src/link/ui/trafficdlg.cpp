// TFrmTraffic (see trafficdlg.h).
#include "link/ui/trafficdlg.h"

#include "i18n/ui/LumsLangComp.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

TFrmTraffic::TFrmTraffic(TTransactionEngine *engine, TLumsLanguageComp *language, TReporter *reporter,
                         QWidget *parent)
    : QDialog(parent), Engine(engine), Language(language)
{
    setObjectName("FrmTraffic");
    setWindowTitle(LangText("TFrmTraffic", "CaptionDefault", "Transfer"));
    Animate = new QProgressBar(this);
    Animate->setObjectName("Animate");
    Animate->setRange(0, 0);
    Animate->setTextVisible(false);
    Animate->setMaximumHeight(8);
    PBprogress = new QProgressBar(this);
    PBprogress->setObjectName("PBprogress");
    PBprogress->setRange(0, 0);
    btnCancel = new QPushButton("Cancel", this);
    btnCancel->setObjectName("btnCancel");
    // Enter must not stop a transfer: Cancel is no default button, only a click (or Escape).
    btnCancel->setAutoDefault(false);
    btnCancel->setDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Animate);
    layout->addWidget(PBprogress);
    layout->addLayout(buttons);
    setMinimumWidth(360);

    Transfer.Reporter = reporter;
    Transfer.LinkOpen = [this] { return !Engine || Engine->LinkOpen(); };
    Transfer.SendFrame = [this](const QByteArray &text) {
        if (Engine)
            Engine->SendFrame(text, true);
    };
    Transfer.OnProgress = [this](int value, int maximum) {
        PBprogress->setMaximum(std::max(maximum, 1));
        PBprogress->setValue(std::min(value, std::max(maximum, 1)));
    };
    Transfer.OnFinished = [this](bool completed) {
        Animate->setRange(0, 1);
        if (isVisible())
            done(completed ? QDialog::Accepted : QDialog::Rejected);
    };
    connect(btnCancel, &QPushButton::clicked, this, [this] { Current->Cancel(); });
    if (Engine)
        Engine->SetRouteConsumer(RouteSendSettings, this);
}

TFrmTraffic::~TFrmTraffic()
{
    if (Engine)
        Engine->SetRouteConsumer(RouteSendSettings, nullptr);
}

void TFrmTraffic::RoutedReply(const Tcommsobj &, const QByteArray &text)
{
    Current->ReplyArrived(text);
}

void TFrmTraffic::reject()
{
    // Hiding the dialog alone would leave the transfer sending behind it.
    if (Current->Running)
        Current->Cancel(); // closes the dialog through OnFinished
    if (isVisible())
        QDialog::reject();
}

void TFrmTraffic::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFrmTraffic::showEvent(QShowEvent *event)
{
    if (Language)
        Language->ApplyLanguage(this);
    QDialog::showEvent(event);
    // Activation starts the steps.
    Animate->setRange(0, 0);
    Current->Start();
}

bool TFrmTraffic::Run(const QList<QByteArray> &messages, const QString &caption, const QByteArray &header)
{
    setWindowTitle(caption);
    Transfer.Load(messages, header);
    PBprogress->setValue(0);
    const TReplyRoute previous = Engine ? Engine->ReplyRoute() : RouteNone;
    if (Engine)
        Engine->SetReplyRoute(RouteSendSettings);
    const int result = exec();
    if (Engine)
        Engine->SetReplyRoute(previous);
    return result == QDialog::Accepted;
}

bool TFrmTraffic::Show(TSettingsTransfer &transfer, const QString &caption)
{
    setWindowTitle(caption);
    // The dialog's own progress and end handling serve the lent transfer while it is shown.
    const auto progress = transfer.OnProgress;
    const auto finished = transfer.OnFinished;
    transfer.OnProgress = [this, progress](int value, int maximum) {
        Transfer.OnProgress(value, maximum);
        if (progress)
            progress(value, maximum);
    };
    transfer.OnFinished = Transfer.OnFinished;
    Current = &transfer;
    PBprogress->setMaximum(std::max(transfer.ProgressMax, 1));
    PBprogress->setValue(0);
    const int result = exec();
    Current = &Transfer;
    transfer.OnProgress = progress;
    transfer.OnFinished = finished;
    return result == QDialog::Accepted;
}
