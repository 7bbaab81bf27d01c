// TRadioGroup (see radiogroup.h).
#include "link/ui/radiogroup.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>
#include <algorithm>

TRadioGroup::TRadioGroup(const QString &name, const QString &caption, const QStringList &items,
                         QWidget *parent, int columns)
    : QGroupBox(caption, parent), Group(new QButtonGroup(this))
{
    setObjectName(name);
    new QGridLayout(this);
    Rows = std::max<int>(1, (items.size() + columns - 1) / std::max(1, columns));
    for (const QString &item : items)
        AddItem(item);
    connect(Group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            emit Changed(id);
    });
}

int TRadioGroup::ItemIndex() const
{
    return Group->checkedId();
}

void TRadioGroup::SetItemIndex(int index)
{
    if (index >= 0 && index < Buttons.size()) {
        Buttons[index]->setChecked(true);
        return;
    }
    // An exclusive group cannot uncheck its checked button.
    Group->setExclusive(false);
    for (QRadioButton *b : Buttons)
        b->setChecked(false);
    Group->setExclusive(true);
    emit Changed(-1);
}

int TRadioGroup::Count() const
{
    return Buttons.size();
}

QString TRadioGroup::ItemText(int index) const
{
    return index >= 0 && index < Buttons.size() ? Buttons[index]->text() : QString();
}

int TRadioGroup::IndexOf(const QString &text) const
{
    for (int i = 0; i < Buttons.size(); ++i)
        if (Buttons[i]->text() == text)
            return i;
    return -1;
}

void TRadioGroup::RemoveLast()
{
    if (Buttons.isEmpty())
        return;
    const bool wasSelected = ItemIndex() == Buttons.size() - 1;
    QRadioButton *last = Buttons.takeLast();
    Group->removeButton(last);
    last->hide();
    last->deleteLater();
    if (wasSelected && !Buttons.isEmpty())
        SetItemIndex(Buttons.size() - 1);
}

void TRadioGroup::AddItem(const QString &text)
{
    const int i = Buttons.size();
    auto *button = new QRadioButton(text, this);
    button->setObjectName(objectName() + QString::number(i));
    Group->addButton(button, i);
    static_cast<QGridLayout *>(layout())->addWidget(button, i % Rows, i / Rows);
    Buttons << button;
}

QRadioButton *TRadioGroup::Button(int index) const
{
    return Buttons.value(index);
}
