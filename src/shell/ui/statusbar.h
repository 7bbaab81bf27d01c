// The main window's status bar: a message too long for the room beside the panels is drawn cut
// with "…" and shown whole in its tooltip, so that no message depends on the font for its meaning.
#pragma once

#include <QStatusBar>

class TStatusBar : public QStatusBar
{
    Q_OBJECT
public:
    explicit TStatusBar(QWidget *parent = nullptr);
    // Where the message is drawn: from the left edge to the first permanent panel (or the grip).
    QRect MessageRect() const;
    // The message as drawn: whole when it fits, else cut with "…".
    QString ShownMessage() const;
    // The tooltip of the message area: the whole message when it is drawn cut, else empty.
    QString MessageToolTip() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
};
