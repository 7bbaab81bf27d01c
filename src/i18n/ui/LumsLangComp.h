// TLumsLanguageComp: applies the language file's texts to a window: its caption, its actions (menu
// entries and toolbar buttons) and, recursively, its controls, each found by its object name.
#pragma once

#include "i18n/LumsLang.h"

class QWidget;

class TLumsLanguageComp
{
public:
    // The newest one is the program's language (the texts of LangText) until it goes.
    TLumsLanguageComp(const QString &fileName, const QStringList &languages);
    ~TLumsLanguageComp();
    TLumsLanguageComp(const TLumsLanguageComp &) = delete;
    TLumsLanguageComp &operator=(const TLumsLanguageComp &) = delete;

    TLumsLanguage &Language() { return Lang; }
    const TLumsLanguage &Language() const { return Lang; }
    int Current() const { return Lang.Current(); }

    // number is 1-based; outside 1..count selects English. Applies it to the form.
    bool SelectLanguage(QWidget *form, int number);
    // Applies the current language; false (and nothing changed) without a language file.
    bool ApplyLanguage(QWidget *form);
    // The value of name + language in the form's section (its class name), or empty.
    QString GetText(const QWidget *form, const QString &name, int number = 0) const;

    // The section of a window: its class name (for a widget that is no window, its object name).
    static QString SectionOf(const QWidget *form);
    // Captions and control texts longer than this are cut.
    static constexpr int MaxTextLength = 200;

private:
    void ApplyToChildren(QWidget *parent, const TIniFile &file, const QString &section);
    TLumsLanguage Lang;
};
