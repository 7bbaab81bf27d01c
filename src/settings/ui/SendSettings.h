// TFrmSendSettings: the preview of a settings file before it is sent: its titles as a tree, the
// calibration choice when the file carries a calibration block, Send and Cancel.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <QList>

class QCheckBox;
class QLabel;
class QPushButton;
class QTreeWidget;

class TFrmSendSettings : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmSendSettings(QWidget *parent = nullptr);

    // Builds tvSettings from the readable lines and removes them from the list, leaving the
    // request lines in their order; "Include Calibration" shows only when the first of them is
    // the calibration block.
    void PreviewSettings(QList<QByteArray> &lines);

    // Names the instrument the file will be written to; Send stays off while none is connected.
    void SetTarget(bool connected, const QByteArray &serialNumber, const QByteArray &model);

    QTreeWidget *tvSettings;
    QLabel *LblTarget;
    QCheckBox *CBxCal;
    QPushButton *btnSend, *btnCancel;
};
