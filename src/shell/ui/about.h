// TfrmAbout: the About box, built from the configuration store's About texts; a click anywhere on
// it closes it.
#pragma once

#include <QDialog>

class QLabel;
class TdatViewer;
class TLumsLanguageComp;

class TfrmAbout : public QDialog
{
    Q_OBJECT
public:
    TfrmAbout(const TdatViewer &config, TLumsLanguageComp *language, QWidget *parent = nullptr);
    static constexpr const char *VersionText = "Version 1.51";

    QLabel *lblName;
    QLabel *lblVersion;
    QLabel *lblComment[6];
    QLabel *lblCopyright;
    QLabel *imgLogo; // shown only when the configured logo file exists

protected:
    void showEvent(QShowEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TLumsLanguageComp *Language;
};
