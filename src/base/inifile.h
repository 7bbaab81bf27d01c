// An ini file held in memory as 8-bit text: sections, keys and values keep their bytes, comments and
// order, so that writing it back changes only the values that were set.
#pragma once

#include <QByteArray>
#include <QList>

class TIniFile
{
public:
    // Parses the text of an ini file; any byte sequence is accepted (lines that are neither a
    // section header nor "key=value" are kept as they are).
    void Parse(const QByteArray &text);
    // The whole file as text, with the line ending the parsed file used (LF for a new file).
    QByteArray Text() const;

    // Section and key names match without regard to ASCII case. Values come without surrounding
    // blanks; with stripQuotes also without one pair of enclosing double quotes.
    bool Has(const QByteArray &section, const QByteArray &key) const;
    QByteArray Value(const QByteArray &section, const QByteArray &key, const QByteArray &def = {},
                     bool stripQuotes = false) const;
    bool HasSection(const QByteArray &section) const;
    // Sets a value, adding the key (and section) at the end when absent. Returns true when the
    // stored text changed. Line breaks in names and values become blanks, and characters that
    // would change how the line reads back ("]" in a section name, "=" in a key) too.
    bool SetValue(const QByteArray &section, const QByteArray &key, const QByteArray &value);

    // Every key with its section name and value, in file order (the first of a repeated key).
    struct TEntry {
        QByteArray Section, Key, Value;
    };
    QList<TEntry> Entries() const;

private:
    struct TLine {
        QByteArray Raw;   // the line as read, without its line ending
        QByteArray Key;   // empty for comments, blank lines and unparsable lines
        QByteArray Value; // trimmed value
    };
    struct TSection {
        QByteArray Header; // the header line as read; empty for the lines before the first header
        QByteArray Name;
        QList<TLine> Lines;
    };

    const TSection *FindSection(const QByteArray &name) const;
    TSection *FindSection(const QByteArray &name);
    static int FindKey(const TSection &section, const QByteArray &key);

    QList<TSection> Sections;
    QByteArray Eol = "\n";
};
