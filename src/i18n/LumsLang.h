// Reading the language file beside the program: per window section, keys of a component name
// followed by a language name (and "Hint" for hints). Applying the texts to windows is the desktop
// program's part (ui/LumsLangComp.h).
#pragma once

#include "base/inifile.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

class TLumsLanguage
{
public:
    TLumsLanguage(const QString &fileName, const QStringList &languages);

    // The program path with ".lang" in place of its extension.
    static QString DefaultFileName();
    // What a missing key reads as; a value that is exactly this counts as absent.
    static constexpr const char *AbsentMarker = "&$&$?";

    QString FileName() const { return File; }
    QStringList Languages() const { return Names; }
    bool FileExists() const;
    int Current() const { return CurrentIndex; }
    // number is 1-based; anything outside 1..count selects the first language (English).
    void SetCurrentNumber(int number);
    QString CurrentName() const { return Names.value(CurrentIndex); }

    // One reading of the file, for applying many texts at once. Empty when the file is missing or
    // unreadable.
    // A file larger than MaxTextFileBytes (or one without end) is not read: ReadProblem says so.
    std::optional<TIniFile> Read() const;
    QString ReadProblem() const { return Problem; }
    // The file as last read, read again when it has changed on disk; null when it is missing.
    const TIniFile *Parsed() const;
    // A value of the file read: section and key without regard to case, surrounding blanks and one
    // pair of quotes removed, the absent marker counting as absent. Texts are UTF-8 when valid,
    // else Latin-1.
    static std::optional<QString> Lookup(const TIniFile &file, const QString &section, const QString &key);

    // The text of key name + language in the section, or empty when absent; number 1..count picks
    // the language, 0 or out of range the current one.
    QString GetText(const QString &section, const QString &name, int number = 0) const;

    // The language whose texts LangText gives: the desktop program's. The command line and the
    // core's tests set none and keep the built-in English texts.
    static void SetProgramLanguage(const TLumsLanguage *language);
    static const TLumsLanguage *ProgramLanguage();

private:
    QString File;
    QStringList Names;
    int CurrentIndex = 0;
    mutable QString Problem; // why the last Read found no texts, when not a missing file
    mutable std::optional<TIniFile> Cache;
    mutable QDateTime CacheTime;
    mutable qint64 CacheSize = -1;
};

// A text looked up by name, as GetText does, in the program's language: the value of name +
// language in the section, or builtIn (the English text) when there is no program language, no
// file or no such key. Texts with %1.. take their arguments after the lookup.
QString LangText(const char *section, const char *name, const QString &builtIn);
