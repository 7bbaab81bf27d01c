// The German walk (see german_walk.h).
#include "german_walk.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <qcustomplot.h>

namespace
{

// Names, units and words that are the same in German: texts no language file needs.
const char *const AllowedTexts[] = {
    "Brellin", "mV/V", "kg",  "Hz", "OK",  "Ok",  "TCP",  "RS232",
    "CRC",     "Baud", "CSV", "SN", "ISN", "EOJ", "Vorn",
};

// Widgets that show the instrument's own texts, frames or records rather than the program's.
const char *const DataWidgets[] = {
    // the instrument's menu names in the session dialog, its reason for refusing an item
    "CBxMenu",
    "lblAccessDenied",
    // the status bar's frames and identification
    "StatusPanel0",
    "StatusPanel1",
    "IdentPanel",
    // stored records, serial numbers and record numbers
    "DsdIsn",
    "DsdWitnessBox",
    "DsdOldestUploadedRec",
    "DsdNewestUploadedRec",
    "ProgressLine3",
    // calibration figures and the instrument's units
    "LBxLCal",
    "lblCalWeightUnits",
    "EdtAbsMV",
    "EdtCalWeight",
    // the instrument's menus, items, options and texts
    "tvMenuItems",
    "LblNumRegName",
    "lblStringRegName",
    "LblOptRegName",
    "LblIpEditRegName",
    "CbxOptions",
    "MemoStringTest",
    "tvSettings",
    "tvDifferences",
    "StringGrid1",
    "LblDateTime",
    "MemoRx",
    // the log's channel names (the columns of its files) and the user's comment
    "CBxDig1",
    "CBxDig2",
    "CBxDig3",
    "CBxDig4",
    "LblDig1",
    "lblDig2",
    "LblDig3",
    "lbldig4",
    "LblLogComment",
    // the About box's lines from the ini, the help page, the debug log, ports and host names
    "lblName",
    "lblComment1",
    "lblComment2",
    "lblComment3",
    "lblComment4",
    "lblComment5",
    "lblComment6",
    "lblCopyright",
    "Browser",
    "Memo",
    "CBPort",
    "EdtIndHostname",
    "EdtName",
};

// A text as compared: mnemonic ampersands out, blanks trimmed.
QString Plain(QString text)
{
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QChar(1), QLatin1Char('&'));
    return text.trimmed();
}

bool HasWords(const QString &text)
{
    static const QRegularExpression word(QStringLiteral("[A-Za-zÄÖÜäöüß]{2,}"));
    return word.match(text).hasMatch();
}

bool IsData(const QWidget *w)
{
    for (; w; w = w->parentWidget())
        for (const char *name : DataWidgets)
            if (w->objectName() == QLatin1String(name))
                return true;
    return false;
}

} // namespace

TIniFile ShippedLanguageFile()
{
    QFile f(QDir(QStringLiteral(BRELLIN_BIN_DIR)).filePath("brellin.lang"));
    TIniFile ini;
    if (f.open(QIODevice::ReadOnly))
        ini.Parse(f.readAll());
    return ini;
}

TGermanWalk::TGermanWalk()
{
    for (const TIniFile::TEntry &e : ShippedLanguageFile().Entries()) {
        if (!e.Key.endsWith("German") && !e.Key.endsWith("GermanHint"))
            continue;
        QString value = Plain(QString::fromUtf8(e.Value));
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        German.insert(value);
        static const QRegularExpression word(QStringLiteral("[A-Za-zÄÖÜäöüß]{2,}"));
        for (auto it = word.globalMatch(value); it.hasNext();)
            Words.insert(it.next().captured());
        // A text with placeholders matches whatever fills them, as long as it has words of its own.
        static const QRegularExpression placeholder(QStringLiteral("%\\d"));
        if (value.contains(placeholder)) {
            QString pattern = QRegularExpression::escape(value);
            pattern.replace(QRegularExpression(QStringLiteral("\\\\?%\\d")), QStringLiteral(".*"));
            if (HasWords(QString(value).remove(placeholder)))
                Patterns << QRegularExpression(QStringLiteral("^(?:") + pattern + ")$",
                                               QRegularExpression::DotMatchesEverythingOption);
        }
    }
    for (const char *text : AllowedTexts) {
        German.insert(QString::fromUtf8(text));
        Words.insert(QString::fromUtf8(text));
    }
}

bool TGermanWalk::IsGerman(const QString &raw) const
{
    const QString text = Plain(raw);
    if (!HasWords(text) || German.contains(text))
        return true;
    // Lines of a longer text are judged one by one.
    if (text.contains(QLatin1Char('\n'))) {
        for (const QString &line : text.split(QLatin1Char('\n')))
            if (!IsGerman(line))
                return false;
        return true;
    }
    for (const QRegularExpression &pattern : Patterns)
        if (pattern.match(text).hasMatch())
            return true;
    // A text put together from several of the file's texts (a summary with its parts): every word
    // must be one the German texts use.
    static const QRegularExpression word(QStringLiteral("[A-Za-zÄÖÜäöüß]{2,}"));
    for (auto it = word.globalMatch(text); it.hasNext();)
        if (!Words.contains(it.next().captured()))
            return false;
    return true;
}

void TGermanWalk::Judge(const QString &where, const QString &text)
{
    if (text.trimmed().isEmpty())
        return;
    ++Checked;
    if (!IsGerman(text))
        English << where + ": " + text;
}

void TGermanWalk::Check(QWidget *root, const QString &where)
{
    QList<QWidget *> widgets{root};
    widgets += root->findChildren<QWidget *>();
    for (QWidget *w : widgets) {
        // Other windows are walked when they are shown: the language file reaches them then.
        if (IsData(w) || (w->window() != root->window() && !qobject_cast<QMenu *>(w->window())))
            continue;
        const QString at =
            where + " / " + (w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName());
        if (w->isWindow())
            Judge(at + " caption", w->windowTitle());
        Judge(at + " tooltip", w->toolTip());
        if (auto *label = qobject_cast<QLabel *>(w))
            Judge(at, Qt::mightBeRichText(label->text())
                          ? QTextDocumentFragment::fromHtml(label->text()).toPlainText()
                          : label->text());
        else if (auto *button = qobject_cast<QAbstractButton *>(w))
            Judge(at, button->text());
        else if (auto *group = qobject_cast<QGroupBox *>(w))
            Judge(at, group->title());
        else if (auto *menu = qobject_cast<QMenu *>(w))
            Judge(at, menu->title());
        else if (auto *edit = qobject_cast<QLineEdit *>(w))
            Judge(at + " placeholder", edit->placeholderText());
        else if (auto *text = qobject_cast<QTextEdit *>(w))
            Judge(at, text->toPlainText());
        else if (auto *plain = qobject_cast<QPlainTextEdit *>(w))
            Judge(at, plain->toPlainText());
        else if (auto *combo = qobject_cast<QComboBox *>(w))
            for (int i = 0; i < combo->count(); ++i)
                Judge(at + " item", combo->itemText(i));
        if (auto *tabs = qobject_cast<QTabWidget *>(w))
            for (int i = 0; i < tabs->count(); ++i) {
                Judge(at + " tab", tabs->tabText(i));
                Judge(at + " tab tooltip", tabs->tabToolTip(i));
            }
        if (auto *header = qobject_cast<QHeaderView *>(w); header && header->model())
            for (int i = 0; i < header->count(); ++i)
                Judge(at + " header", header->model()->headerData(i, header->orientation()).toString());
        if (auto *plot = qobject_cast<QCustomPlot *>(w)) {
            for (QCPAxis *axis : plot->axisRect() ? plot->axisRect()->axes() : QList<QCPAxis *>())
                Judge(at + " axis", axis->label());
            for (int i = 0; i < plot->plottableCount(); ++i)
                if (plot->legend && plot->legend->visible() &&
                    plot->legend->hasItemWithPlottable(plot->plottable(i)))
                    Judge(at + " series", plot->plottable(i)->name());
            for (int i = 0; i < plot->plotLayout()->elementCount(); ++i)
                if (auto *title = qobject_cast<QCPTextElement *>(plot->plotLayout()->elementAt(i)))
                    Judge(at + " title", title->text());
        }
        for (QAction *action : w->actions()) {
            if (action->isSeparator())
                continue;
            Judge(at + " action " + action->objectName(), action->text());
            // Qt's own tooltip of an action is its text without mnemonic and dots.
            QString shown = Plain(action->text());
            if (shown.endsWith(QStringLiteral("...")))
                shown.chop(3);
            if (action->toolTip() != shown)
                Judge(at + " action tooltip " + action->objectName(), action->toolTip());
        }
    }
}
