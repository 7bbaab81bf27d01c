// TRadioGroup: a captioned group of radio buttons with an item index (-1 for none), the way the
// connection dialog's choices are shown.
#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QRadioButton;

class TRadioGroup : public QGroupBox
{
    Q_OBJECT
public:
    TRadioGroup(const QString &name, const QString &caption, const QStringList &items, QWidget *parent,
                int columns = 1);
    int ItemIndex() const;
    // -1 (or any index outside the items) clears the selection.
    void SetItemIndex(int index);
    int Count() const;
    QString ItemText(int index) const;
    int IndexOf(const QString &text) const;
    // Removes the last item; a selection on it moves to the new last item.
    void RemoveLast();
    // Adds an item after the last one, in the group's arrangement of rows.
    void AddItem(const QString &text);
    QRadioButton *Button(int index) const;

signals:
    void Changed(int index);

private:
    QButtonGroup *Group;
    QList<QRadioButton *> Buttons;
    int Rows = 1;
};
