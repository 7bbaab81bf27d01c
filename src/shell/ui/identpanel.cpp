// The status bar's identification panel (see identpanel.h).
#include "shell/ui/identpanel.h"

#include <QPainter>

TIdentPanel::TIdentPanel(QWidget *parent) : QWidget(parent)
{
    setObjectName("IdentPanel");
    setMinimumWidth(50);
}

void TIdentPanel::SetText(const QString &text)
{
    PanelText = text;
    updateGeometry();
    update();
}

void TIdentPanel::SetSettingsConfirmed(bool confirmed)
{
    Confirmed = confirmed;
    update();
}

QColor TIdentPanel::Background() const
{
    return !PanelText.isEmpty() && !Confirmed ? QColor(Qt::red) : palette().color(QPalette::Button);
}

QColor TIdentPanel::Foreground() const
{
    return !PanelText.isEmpty() && !Confirmed ? QColor(Qt::yellow) : QColor(Qt::black);
}

QSize TIdentPanel::sizeHint() const
{
    const QFontMetrics fm(font());
    return QSize(std::max(50, 20 + fm.horizontalAdvance(PanelText) + 8), fm.height() + 4);
}

void TIdentPanel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), Background());
    p.setPen(Foreground());
    const QFontMetrics fm(font());
    p.drawText(20, 2 + fm.ascent(), PanelText);
}
