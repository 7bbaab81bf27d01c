// TFrmCompare: the instrument against a settings file. Only the items that differ show, as a tree
// of their menus, with the instrument's and the file's value side by side.
#pragma once

#include <QDialog>

class QLabel;
class QTreeWidget;
struct TCompareResult;

class TFrmCompare : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmCompare(QWidget *parent = nullptr);

    // file: the settings file's name, shown in the caption.
    void Show(const TCompareResult &result, const QString &file);

    QTreeWidget *tvDifferences; // columns: item, instrument, file
    QLabel *lblCompared;        // how many items were compared and how many differ
};
