// The Test tab (see testtab.h).
#include "link/ui/testtab.h"

#include "i18n/LumsLang.h"
#include "link/reporter.h"
#include "link/transact.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

TTestTab::TTestTab(TTransactionEngine *engine, QWidget *parent) : QWidget(parent), Engine(engine)
{
    setObjectName("TestPanel");
    EdtSendStr = new QLineEdit(this);
    EdtSendStr->setObjectName("EdtSendStr");
    EdtSendStr->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    EdtSendStr->installEventFilter(this);
    BtnSend = new QPushButton("Send", this);
    BtnSend->setObjectName("BtnSend");
    cbCRC = new QCheckBox("Use CRC", this);
    cbCRC->setObjectName("cbCRC");
    cbCRC->setChecked(true);
    CbControl = new QCheckBox("Show Control Characters", this);
    CbControl->setObjectName("CbControl");
    LblSendOff = new QLabel(SendOffText, this);
    LblSendOff->setObjectName("LblSendOff");
    LblSendOff->setWordWrap(true);
    LblSendOff->hide();
    BtnClear = new QPushButton("Clear", this);
    BtnClear->setObjectName("BtnClear");
    MemoRx = new QPlainTextEdit(this);
    MemoRx->setObjectName("MemoRx");
    MemoRx->setReadOnly(true);
    MemoRx->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    MemoRx->setMaximumBlockCount(MaxLines);
    MemoRx->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto *row = new QHBoxLayout;
    row->addWidget(EdtSendStr, 1);
    row->addWidget(BtnSend);
    row->addWidget(cbCRC);
    auto *options = new QHBoxLayout;
    options->addWidget(CbControl);
    options->addStretch();
    options->addWidget(BtnClear);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addLayout(options);
    layout->addWidget(LblSendOff);
    layout->addWidget(MemoRx, 1);

    connect(BtnSend, &QPushButton::clicked, this, &TTestTab::BtnSendClick);
    connect(BtnClear, &QPushButton::clicked, this, [this] {
        MemoRx->clear();
        EdtSendStr->setFocus();
    });
    // The setting applies to text echoed from now on; the click only returns to typing.
    connect(CbControl, &QCheckBox::clicked, this, [this] { EdtSendStr->setFocus(); });
}

const QString TTestTab::SendOffText =
    QStringLiteral("Send is off during a setup session: a typed message would cut into the session's own "
                   "exchanges. End the session to send.");

void TTestTab::SetSendAllowed(bool allowed)
{
    BtnSend->setEnabled(allowed);
    BtnSend->setToolTip(allowed ? LangText("Messages", "SendTip", "Send the typed message to the instrument")
                                : LangText("TFrmMain", "LblSendOff", SendOffText));
    LblSendOff->setVisible(!allowed);
}

void TTestTab::Send()
{
    if (!Engine)
        return;
    const QByteArray text = EdtSendStr->text().toLatin1();
    // A typed message may change anything: it goes into the change journal as a raw request
    // first. Its reply is shown here, not checked, so its outcome stays "not confirmed".
    int64_t intent = 0;
    if (Engine->Changes) {
        TChangeEvent event;
        event.Kind = "raw";
        event.Action = QStringLiteral("Test tab: Send");
        event.Asked = text;
        Tcommsobj decoded;
        if (decoded.Decode(text)) {
            event.Command = decoded.Command;
            event.Register = decoded.Register;
        }
        intent = Engine->Changes->Intent(event);
        if (intent == 0) {
            if (Engine->Reporter)
                Engine->Reporter->Error(LangText("Messages", "JournalNotSent",
                                                 "The change journal could not be written (%1): the "
                                                 "message was not sent.")
                                            .arg(Engine->Changes->LastError()));
            return;
        }
    }
    Engine->SendFrame(text, cbCRC->isChecked());
    if (intent != 0) {
        TChangeResult result;
        result.Text = QStringLiteral("sent from the Test tab; its reply is shown there, not checked");
        Engine->Changes->Outcome(intent, result);
    }
}

void TTestTab::BtnSendClick()
{
    Send();
    EdtSendStr->setFocus();
    emit SentByButton();
}

bool TTestTab::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == EdtSendStr && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (BtnSend->isEnabled()) {
                Send();
                BtnSend->setFocus();
                EdtSendStr->setFocus();
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TTestTab::AddEcho(const QByteArray &text)
{
    for (const QByteArray &line : TrafficEchoLines(text, CbControl->isChecked()))
        MemoRx->appendPlainText(QString::fromLatin1(line));
    MemoRx->verticalScrollBar()->setValue(MemoRx->verticalScrollBar()->maximum());
}

void TTestTab::FocusSendBox()
{
    EdtSendStr->setFocus();
}
