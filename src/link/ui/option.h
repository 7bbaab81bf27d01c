// TfrmOptions: the two reply time-outs and two options, read from and stored to the configuration.
// Closing it in any way clears the first-run flag.
#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;
class TdatViewer;
class TNumEdit;
class TReporter;

class TfrmOptions : public QDialog
{
    Q_OBJECT
public:
    TfrmOptions(TdatViewer &config, TReporter *reporter, QWidget *parent = nullptr);

    static constexpr const char *RangeMessage = "The number must be within the range 0.5s to 20s";

    TNumEdit *edtSerialTimeout;
    TNumEdit *edtTCPTimeout;
    QCheckBox *cbAllowFastOptoLink;
    QCheckBox *cbAllowSaveBlock;
    QCheckBox *cbRememberMenus;
    QPushButton *btnOK;
    QPushButton *btnCancel;

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void btnOKClick();

    TdatViewer &Config;
    TReporter *Reporter;
};
