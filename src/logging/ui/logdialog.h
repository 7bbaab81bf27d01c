// TFrmLogDialog: the logging dialog shown before a recording: the sample rate and the channel of
// each of the four digital traces. Created once and kept, so its choices stay for the next start.
#pragma once

#include "logging/logmodel.h"

#include <QDialog>

class QComboBox;
class QPushButton;

class TFrmLogDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmLogDialog(QWidget *parent = nullptr);

    QComboBox *CBLogRate;
    QComboBox *CBxDig[4]; // CBxDig1 .. CBxDig4
    QPushButton *BtnOk, *BtnCancel;

    // The choices as they stand (a choice with nothing selected counts as none).
    TLogChoices Choices() const;
    // Presets the dialog: the rate that shows the interval and the four channels.
    void Preset(double interval, const std::array<int, 4> &channels);
};
