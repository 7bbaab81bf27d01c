// Reading the language file (see LumsLang.h).
#include "i18n/LumsLang.h"

#include "base/inifile.h"
#include "base/wholefile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

TLumsLanguage::TLumsLanguage(const QString &fileName, const QStringList &languages)
    : File(fileName), Names(languages)
{
}

QString TLumsLanguage::DefaultFileName()
{
    const QString base = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    return QCoreApplication::applicationDirPath() + "/" + base + ".lang";
}

bool TLumsLanguage::FileExists() const
{
    return QFileInfo(File).isFile();
}

void TLumsLanguage::SetCurrentNumber(int number)
{
    CurrentIndex = (number >= 1 && number <= Names.size()) ? number - 1 : 0;
}

std::optional<TIniFile> TLumsLanguage::Read() const
{
    QByteArray text;
    QString why;
    const TReadOutcome outcome = ReadFileLimited(File, MaxTextFileBytes, text, &why);
    Problem = outcome == TReadOutcome::TooLarge || outcome == TReadOutcome::Failed ? why : QString();
    if (outcome != TReadOutcome::Read)
        return std::nullopt;
    TIniFile ini;
    ini.Parse(text);
    return ini;
}

std::optional<QString> TLumsLanguage::Lookup(const TIniFile &file, const QString &section, const QString &key)
{
    const QByteArray s = section.toUtf8(), k = key.toUtf8();
    if (!file.Has(s, k))
        return std::nullopt;
    const QByteArray value = file.Value(s, k, {}, true);
    if (value == AbsentMarker)
        return std::nullopt;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(value);
    if (utf8.hasError())
        text = QString::fromLatin1(value);
    return text;
}

const TIniFile *TLumsLanguage::Parsed() const
{
    const QFileInfo info(File);
    if (!info.isFile()) {
        Cache.reset();
        return nullptr;
    }
    if (!Cache || info.lastModified() != CacheTime || info.size() != CacheSize) {
        Cache = Read();
        CacheTime = info.lastModified();
        CacheSize = info.size();
    }
    return Cache ? &*Cache : nullptr;
}

QString TLumsLanguage::GetText(const QString &section, const QString &name, int number) const
{
    const int index = (number >= 1 && number <= Names.size()) ? number - 1 : CurrentIndex;
    const TIniFile *file = Parsed();
    if (!file)
        return QString();
    return Lookup(*file, section, name + Names.value(index)).value_or(QString());
}

namespace
{
const TLumsLanguage *TheProgramLanguage = nullptr;
}

void TLumsLanguage::SetProgramLanguage(const TLumsLanguage *language)
{
    TheProgramLanguage = language;
}

const TLumsLanguage *TLumsLanguage::ProgramLanguage()
{
    return TheProgramLanguage;
}

QString LangText(const char *section, const char *name, const QString &builtIn)
{
    if (!TheProgramLanguage)
        return builtIn;
    const QString text = TheProgramLanguage->GetText(QString::fromLatin1(section), QString::fromLatin1(name));
    return text.isEmpty() ? builtIn : text;
}
