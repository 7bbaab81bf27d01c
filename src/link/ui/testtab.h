// The Test tab: a raw terminal on the link. The user types a message text and sends it, with or
// without CRC framing; all traffic shows in the receive box (at most 500 lines).
#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TTransactionEngine;

class TTestTab : public QWidget
{
    Q_OBJECT
public:
    explicit TTestTab(TTransactionEngine *engine, QWidget *parent = nullptr);

    static constexpr int MaxLines = 500;

    // The engine's traffic echo: adds the text as lines.
    void AddEcho(const QByteArray &text);
    void FocusSendBox();
    // Send is off during a setup session: a raw message would cut into the session's own exchanges.
    void SetSendAllowed(bool allowed);
    static const QString SendOffText;

    QLineEdit *EdtSendStr;
    QPushButton *BtnSend;
    // Shown while Send is off, with the reason (the button's tooltip says it too).
    QLabel *LblSendOff;
    QCheckBox *CbControl;
    QPushButton *BtnClear;
    QCheckBox *cbCRC;
    QPlainTextEdit *MemoRx;

signals:
    // "Send" was pressed (not Enter): the instrument's settings may now differ from what was saved.
    void SentByButton();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BtnSendClick();
    void Send();

    TTransactionEngine *Engine;
};
