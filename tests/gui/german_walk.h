// The German walk: collects every text a user reads in a window (captions, labels, buttons, group
// titles, tabs, menus, actions, tooltips, headers, chart labels) and keeps those that are not one
// of the shipped language file's German texts, the names and units aside.
#pragma once

#include "base/inifile.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringList>

class QWidget;

// The language file beside the programs of the build.
TIniFile ShippedLanguageFile();

class TGermanWalk
{
public:
    TGermanWalk();
    // Walks the widget and everything in it; where names the window in the list of findings.
    void Check(QWidget *root, const QString &where);
    // Whether a text is German: one of the file's German texts (with anything in place of its
    // placeholders), an allowed name or unit, or no words at all.
    bool IsGerman(const QString &text) const;

    QStringList English; // "where / widget: text"
    int Checked = 0;     // texts looked at

private:
    void Judge(const QString &where, const QString &text);
    QSet<QString> German;
    QList<QRegularExpression> Patterns;
    QSet<QString> Words; // every word of the German texts
};
