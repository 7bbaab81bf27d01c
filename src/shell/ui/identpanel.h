// The status bar's identification panel, drawn by the program: red with yellow text while the
// instrument's settings differ from what it saved (after a raw send from the Test tab), otherwise
// the panel face with black text.
#pragma once

#include <QWidget>

class TIdentPanel : public QWidget
{
    Q_OBJECT
public:
    explicit TIdentPanel(QWidget *parent = nullptr);
    QString Text() const { return PanelText; }
    void SetText(const QString &text);
    bool SettingsConfirmed() const { return Confirmed; }
    void SetSettingsConfirmed(bool confirmed);
    // The colours the panel is drawn in now.
    QColor Background() const;
    QColor Foreground() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString PanelText;
    bool Confirmed = true;
};
