// TLumsLanguageComp (see LumsLangComp.h).
#include "i18n/ui/LumsLangComp.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStackedWidget>
#include <QTabWidget>
#include <QWidget>

namespace
{

QString Cut(const QString &text)
{
    return text.left(TLumsLanguageComp::MaxTextLength);
}

// The tab widget a page belongs to, if it is a tab page.
QTabWidget *TabOwner(QWidget *page)
{
    auto *stack = qobject_cast<QStackedWidget *>(page->parentWidget());
    auto *tabs = stack ? qobject_cast<QTabWidget *>(stack->parentWidget()) : nullptr;
    return tabs && tabs->indexOf(page) >= 0 ? tabs : nullptr;
}

void SetControlText(QWidget *w, const QString &text)
{
    if (QTabWidget *tabs = TabOwner(w))
        tabs->setTabText(tabs->indexOf(w), text);
    else if (auto *menu = qobject_cast<QMenu *>(w))
        menu->setTitle(text);
    else if (auto *button = qobject_cast<QAbstractButton *>(w))
        button->setText(text);
    else if (auto *label = qobject_cast<QLabel *>(w))
        label->setText(text);
    else if (auto *group = qobject_cast<QGroupBox *>(w))
        group->setTitle(text);
    else if (auto *edit = qobject_cast<QLineEdit *>(w))
        edit->setText(text);
}

void SetControlHint(QWidget *w, const QString &hint)
{
    if (QTabWidget *tabs = TabOwner(w))
        tabs->setTabToolTip(tabs->indexOf(w), hint);
    else
        w->setToolTip(hint);
}

} // namespace

TLumsLanguageComp::TLumsLanguageComp(const QString &fileName, const QStringList &languages)
    : Lang(fileName, languages)
{
    TLumsLanguage::SetProgramLanguage(&Lang);
}

TLumsLanguageComp::~TLumsLanguageComp()
{
    if (TLumsLanguage::ProgramLanguage() == &Lang)
        TLumsLanguage::SetProgramLanguage(nullptr);
}

QString TLumsLanguageComp::SectionOf(const QWidget *form)
{
    if (form->isWindow())
        return QString::fromLatin1(form->metaObject()->className());
    return form->objectName();
}

bool TLumsLanguageComp::SelectLanguage(QWidget *form, int number)
{
    Lang.SetCurrentNumber(number);
    ApplyLanguage(form);
    return true;
}

bool TLumsLanguageComp::ApplyLanguage(QWidget *form)
{
    const TIniFile *file = Lang.Parsed();
    if (!file || !form)
        return false;
    const QString section = SectionOf(form);
    const QString lang = Lang.CurrentName();
    if (auto caption = TLumsLanguage::Lookup(*file, section, section + lang))
        form->setWindowTitle(Cut(*caption));
    if (auto hint = TLumsLanguage::Lookup(*file, section, section + lang + "Hint"))
        form->setToolTip(*hint);
    ApplyToChildren(form, *file, section);
    return true;
}

void TLumsLanguageComp::ApplyToChildren(QWidget *parent, const TIniFile &file, const QString &section)
{
    const QString lang = Lang.CurrentName();
    for (QObject *child : parent->children()) {
        const QString name = child->objectName();
        if (auto *action = qobject_cast<QAction *>(child)) {
            if (name.isEmpty())
                continue;
            if (auto text = TLumsLanguage::Lookup(file, section, name + lang))
                action->setText(Cut(*text));
            if (auto hint = TLumsLanguage::Lookup(file, section, name + lang + "Hint")) {
                action->setToolTip(*hint);
                action->setStatusTip(*hint);
            }
            continue;
        }
        auto *w = qobject_cast<QWidget *>(child);
        // Other windows (dialogs owned by this one) have sections of their own; menus are popups
        // but belong to this window.
        if (!w || (w->isWindow() && !qobject_cast<QMenu *>(w)))
            continue;
        if (!name.isEmpty()) {
            if (auto text = TLumsLanguage::Lookup(file, section, name + lang))
                SetControlText(w, Cut(*text));
            if (auto hint = TLumsLanguage::Lookup(file, section, name + lang + "Hint"))
                SetControlHint(w, *hint);
        }
        ApplyToChildren(w, file, section);
    }
}

QString TLumsLanguageComp::GetText(const QWidget *form, const QString &name, int number) const
{
    return Lang.GetText(SectionOf(form), name, number);
}
