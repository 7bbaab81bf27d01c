// The main window's status bar with messages cut to the room they have and shown whole on hover.
#include "statusbar.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyleOption>
#include <QToolTip>

TStatusBar::TStatusBar(QWidget *parent) : QStatusBar(parent) {}

QRect TStatusBar::MessageRect() const
{
    // The same room the bar gives its message: 6 pixels in, up to 2 pixels before the leftmost
    // visible permanent panel, or before the size grip.
    int left = 6;
    int right = width() - 12;
    for (const QWidget *child : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        // (A child at the left edge is one the bar has not placed yet.)
        if (!child->isVisible() || child->x() <= left)
            continue;
        right = std::min(right, child->inherits("QSizeGrip") ? child->x() : child->x() - 2);
    }
    return QRect(left, 0, std::max(0, right - left), height());
}

QString TStatusBar::ShownMessage() const
{
    return fontMetrics().elidedText(currentMessage(), Qt::ElideRight, MessageRect().width());
}

QString TStatusBar::MessageToolTip() const
{
    const QString shown = ShownMessage();
    return shown == currentMessage() ? QString() : currentMessage();
}

void TStatusBar::paintEvent(QPaintEvent *event)
{
    QStatusBar::paintEvent(event);
    const QString shown = ShownMessage();
    if (shown == currentMessage())
        return;
    // The bar has drawn the whole message, clipped at its room: draw the room again with the
    // message cut where a reader sees that it goes on.
    const QRect room = MessageRect();
    QPainter p(this);
    p.setClipRect(room);
    QStyleOption opt;
    opt.initFrom(this);
    style()->drawPrimitive(QStyle::PE_PanelStatusBar, &opt, &p, this);
    p.setPen(palette().windowText().color());
    p.drawText(room, Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

bool TStatusBar::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QString tip = MessageToolTip();
        if (!tip.isEmpty() && MessageRect().contains(help->pos())) {
            QToolTip::showText(help->globalPos(), tip, this, MessageRect());
            return true;
        }
    }
    return QStatusBar::event(event);
}
