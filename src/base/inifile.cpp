// An ini file held in memory as 8-bit text (see inifile.h).
#include "base/inifile.h"

namespace
{

bool SameName(const QByteArray &a, const QByteArray &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

void TIniFile::Parse(const QByteArray &text)
{
    Sections.clear();
    Sections.append(TSection{});
    // The file's own line ending, as its first line has it; a CR before LF belongs to the ending
    // only in a CR LF file (elsewhere it is text and stays).
    const qsizetype firstLf = text.indexOf('\n');
    const bool crlf = firstLf >= 0 ? firstLf > 0 && text[firstLf - 1] == '\r' : text.endsWith('\r');
    Eol = crlf ? QByteArray("\r\n") : QByteArray("\n");
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray raw = lines[i];
        if (crlf && raw.endsWith('\r'))
            raw.chop(1);
        // The split leaves an empty piece after a final line ending: it is no line of its own.
        if (i == lines.size() - 1 && raw.isEmpty())
            break;
        const QByteArray trimmed = raw.trimmed();
        if (trimmed.startsWith('[') && trimmed.contains(']')) {
            TSection section;
            section.Header = raw;
            section.Name = trimmed.mid(1, trimmed.indexOf(']') - 1).trimmed();
            Sections.append(section);
            continue;
        }
        TLine line;
        line.Raw = raw;
        const qsizetype eq = raw.indexOf('=');
        if (eq > 0 && !trimmed.startsWith(';') && !trimmed.startsWith('#')) {
            line.Key = raw.left(eq).trimmed();
            line.Value = raw.mid(eq + 1).trimmed();
        }
        Sections.last().Lines.append(line);
    }
}

QList<TIniFile::TEntry> TIniFile::Entries() const
{
    QList<TEntry> entries;
    for (const TSection &section : Sections) {
        for (int i = 0; i < section.Lines.size(); ++i) {
            const TLine &line = section.Lines[i];
            if (!line.Key.isEmpty() && FindKey(section, line.Key) == i)
                entries.append({section.Name, line.Key, line.Value});
        }
    }
    return entries;
}

QByteArray TIniFile::Text() const
{
    QByteArray out;
    for (const TSection &section : Sections) {
        if (!section.Header.isEmpty())
            out += section.Header + Eol;
        for (const TLine &line : section.Lines)
            out += line.Raw + Eol;
    }
    return out;
}

const TIniFile::TSection *TIniFile::FindSection(const QByteArray &name) const
{
    for (const TSection &section : Sections)
        if (!section.Header.isEmpty() && SameName(section.Name, name))
            return &section;
    return nullptr;
}

TIniFile::TSection *TIniFile::FindSection(const QByteArray &name)
{
    // Found through the non-const list, so that a copy sharing the sections is detached first.
    for (TSection &section : Sections)
        if (!section.Header.isEmpty() && SameName(section.Name, name))
            return &section;
    return nullptr;
}

int TIniFile::FindKey(const TSection &section, const QByteArray &key)
{
    for (int i = 0; i < section.Lines.size(); ++i)
        if (!section.Lines[i].Key.isEmpty() && SameName(section.Lines[i].Key, key))
            return i;
    return -1;
}

bool TIniFile::HasSection(const QByteArray &section) const
{
    return FindSection(section) != nullptr;
}

bool TIniFile::Has(const QByteArray &section, const QByteArray &key) const
{
    const TSection *s = FindSection(section);
    return s && FindKey(*s, key) >= 0;
}

QByteArray TIniFile::Value(const QByteArray &section, const QByteArray &key, const QByteArray &def,
                           bool stripQuotes) const
{
    const TSection *s = FindSection(section);
    const int i = s ? FindKey(*s, key) : -1;
    if (i < 0)
        return def;
    QByteArray value = s->Lines[i].Value;
    if (stripQuotes && value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
        value = value.mid(1, value.size() - 2);
    return value;
}

namespace
{

// A name as a line of the file can hold it: no line breaks, and nothing that would make the line
// read back as something else (a "]" ends a section name, "=" a key; ";", "#" and "[" start a
// comment or a section).
QByteArray CleanName(QByteArray name, const char *forbidden)
{
    name.replace('\r', ' ').replace('\n', ' ');
    for (const char *c = forbidden; *c; ++c)
        name.replace(*c, ' ');
    name = name.trimmed();
    while (!name.isEmpty() && (name[0] == ';' || name[0] == '#' || name[0] == '['))
        name = name.mid(1).trimmed();
    return name;
}

} // namespace

bool TIniFile::SetValue(const QByteArray &rawSection, const QByteArray &rawKey, const QByteArray &value)
{
    const QByteArray section = CleanName(rawSection, "]");
    const QByteArray key = CleanName(rawKey, "=");
    if (key.isEmpty())
        return false;
    if (Sections.isEmpty())
        Sections.append(TSection{});
    TSection *s = FindSection(section);
    if (!s) {
        // Keep a blank line between sections, as people write them.
        TSection &last = Sections.last();
        if (!(last.Header.isEmpty() && last.Lines.isEmpty()) &&
            !(!last.Lines.isEmpty() && last.Lines.last().Raw.trimmed().isEmpty()))
            last.Lines.append(TLine{});
        TSection added;
        added.Header = "[" + section + "]";
        added.Name = section;
        Sections.append(added);
        s = &Sections.last();
    }
    const QByteArray cleaned = QByteArray(value).replace('\r', ' ').replace('\n', ' ').trimmed();
    const int i = FindKey(*s, key);
    if (i >= 0) {
        TLine &line = s->Lines[i];
        if (line.Value == cleaned)
            return false;
        line.Value = cleaned;
        line.Raw = line.Key + "=" + cleaned;
        return true;
    }
    // A new key goes after the section's last key, before trailing blank lines.
    int at = s->Lines.size();
    while (at > 0 && s->Lines[at - 1].Raw.trimmed().isEmpty())
        --at;
    s->Lines.insert(at, TLine{key + "=" + cleaned, key, cleaned});
    return true;
}
