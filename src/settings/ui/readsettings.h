// TFrmReadSettings: the session start's choice of menu (safe, full or an operator menu) and
// whether the whole menu is read at once.
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

class TFrmReadSettings : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmReadSettings(QWidget *parent = nullptr);

    // Fills the menu list and selects its first entry.
    void SetChoices(const QStringList &choices);
    // The chosen entry; -1 when none is selected.
    int Choice() const;

    QLabel *LblPrompt; // the caption, inside the dialog too
    QComboBox *CBxMenu;
    QCheckBox *CbxReadEntire;
    QPushButton *BtnOk;
    QPushButton *BtnCancel;

protected:
    void showEvent(QShowEvent *event) override;
};
