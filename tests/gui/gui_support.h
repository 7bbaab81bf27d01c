// Helpers of the widget tests: a program folder with its data files, and a scripted instrument on
// a fake link.
#pragma once

#include "fake_link.h"

#include <QByteArray>
#include <QMap>
#include <QTemporaryDir>

// A temporary program folder: brellin.ini, panel.jpg and, if given, brellin.lang.
struct TProgramFolder {
    explicit TProgramFolder(const QByteArray &ini = DefaultIni, bool picture = true,
                            const QByteArray &lang = {});
    QString Ini() const { return Dir.filePath("brellin.ini"); }
    QString File(const QString &name) const { return Dir.filePath(name); }
    void Write(const QString &name, const QByteArray &text) const;

    static constexpr const char *DefaultIni = "[About]\nViewerName=Brellin\n[Options]\nFirstRun=0\n";
    QTemporaryDir Dir;
};

// Answers register reads from a table, as an instrument at the other end of a fake link would;
// requests for registers not in the table get no answer.
class TScriptedInstrument
{
public:
    explicit TScriptedInstrument(TFakeLink *link);
    QMap<int, QByteArray> Registers;
    int Requests = 0;

private:
    TFakeLink *Link;
};
