// File > Print of both branches read back from the PDF (every axis number and title inside the
// chart's rectangle, a long comment clear of the trace names), opening a log during a setup
// session, and the chart saved as a picture.
#include "log_support.h"

#include "logging/printlines.h"
#include "settings/settingstree.h"
#include "settings/ui/passcode.h"
#include "settings/ui/readsettings.h"
#include "settings/ui/settingsui.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QPageLayout>
#include <QRegularExpression>
#include <QTest>
#include <cstdio>

namespace
{

struct TWord {
    QString Text;
    QRectF Box; // points, from the page's top left
};

// The words of the first page of a PDF with their boxes, as pdftotext -bbox reads them back.
QList<TWord> PdfWords(const QString &pdf, QSizeF *page)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-bbox"), QStringLiteral("-l"), QStringLiteral("1"), pdf, QStringLiteral("-")});
    p.waitForFinished(20000);
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    const QRegularExpression pageSize(QStringLiteral("<page width=\"([\\d.]+)\" height=\"([\\d.]+)\""));
    if (const auto m = pageSize.match(html); m.hasMatch())
        *page = QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble());
    const QRegularExpression word(QStringLiteral(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    QList<TWord> words;
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        words.append({m.captured(5), QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                                            QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()))});
    }
    return words;
}

} // namespace

TEST_F(LogTabTest, PrintsTheLogPageAndTheSettingsTree)
{
    // A comment far longer than the room left of the trace names.
    const QByteArray comment =
        "Printed comment: " + QByteArray("overload test of the left cell ").repeated(6);
    Open(WriteFile("print.CSV", {comment, "Time,Weight(kg),Motion,IO3,IO1", "0.00,1.5,0.00,1.00,1.00",
                                 "2.00,2.5,1.00,0.00,0.00", "40.00,120.5,1.00,0.00,1.00"}));
    QRectF paper; // the printable area on the page, in points
    int resolution = 0;
    Ui->AskPrinter = [&](QPrinter &printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(Pdf);
        paper = printer.pageLayout().paintRectPoints();
        resolution = printer.resolution();
        return true;
    };
    Ui->Print1Click();
    const QString log = PdfText();
    EXPECT_TRUE(log.contains("Printed comment")) << log.toStdString();
    // The trace names side by side, apart.
    EXPECT_TRUE(log.contains(QRegularExpression("Motion\\s+IO3"))) << log.toStdString();

    // Read back word by word: every axis number and both titles lie inside the chart's rectangle
    // (a twentieth of the width and a tenth of the height in from the printable area's edges).
    QSizeF page;
    const QList<TWord> words = PdfWords(Pdf, &page);
    ASSERT_FALSE(words.isEmpty());
    const QRectF chart =
        paper.adjusted(paper.width() / 20, paper.height() / 10, -paper.width() / 20, -paper.height() / 10);
    const QRectF inside = chart.adjusted(-0.5, -0.5, 0.5, 0.5);
    const QRegularExpression number(QStringLiteral("^-?\\d+(\\.\\d+)?$"));
    QStringList numbers, titles, outside;
    QList<TWord> traceNames, commentWords;
    for (const TWord &w : words) {
        if (number.match(w.Text).hasMatch())
            numbers << w.Text;
        else if (QStringList{"Time", "(secs)", "Weight", "(kg)"}.contains(w.Text))
            titles << w.Text;
        else if (QStringList{"Motion", "IO3", "IO1"}.contains(w.Text))
            traceNames << w;
        else
            commentWords << w;
        if (!QRectF(QPointF(0, 0), page).contains(w.Box))
            outside << w.Text + " (off the page)";
        else if ((number.match(w.Text).hasMatch() || titles.contains(w.Text)) && !inside.contains(w.Box))
            outside << QStringLiteral("%1 at %2,%3").arg(w.Text).arg(w.Box.left()).arg(w.Box.top());
    }
    EXPECT_TRUE(outside.isEmpty()) << outside.join(", ").toStdString() << " chart " << chart.left() << ","
                                   << chart.top() << " " << chart.right() << "," << chart.bottom();
    // Both axes carry numbers: the time axis to 40 s, the weight axis around 1.5 .. 120.5 kg.
    EXPECT_GE(numbers.size(), 8) << numbers.join(' ').toStdString();
    EXPECT_TRUE(numbers.contains("40")) << numbers.join(' ').toStdString();
    EXPECT_TRUE(numbers.contains("100.0")) << numbers.join(' ').toStdString();
    EXPECT_EQ(titles.size(), 4) << titles.join(' ').toStdString();
    // The whole comment is printed, and none of it over a trace name.
    ASSERT_EQ(traceNames.size(), 3);
    QString printed;
    for (const TWord &w : commentWords) {
        printed += w.Text + ' ';
        for (const TWord &name : traceNames)
            EXPECT_FALSE(w.Box.intersects(name.Box))
                << w.Text.toStdString() << " over " << name.Text.toStdString();
    }
    EXPECT_EQ(printed.simplified().remove(' '), QString::fromLatin1(comment).remove(' '))
        << printed.toStdString();
    EXPECT_GT(resolution, 0);

    // The settings tree as text: header, then three blanks per level of depth.
    ConnectSim();
    Other = [](QDialog *dialog) {
        if (auto *menu = qobject_cast<TFrmReadSettings *>(dialog)) {
            menu->CbxReadEntire->setChecked(true);
            return int(QDialog::Accepted);
        }
        if (auto *pass = qobject_cast<TFrmPasscode *>(dialog)) {
            pass->EdtPasscode->setText("1234");
            return int(QDialog::Accepted);
        }
        return int(QDialog::Rejected);
    };
    W->PgCMain->setCurrentWidget(W->TSDisplay);
    W->StartSession->trigger();
    auto *settings = W->findChild<TSettingsUi *>();
    ASSERT_FALSE(settings->Model->IsEmpty()) << Reporter.Errors.join('\n').toStdString();
    ASSERT_NE(W->PgCMain->currentWidget(), W->TSLog);
    const QList<QByteArray> tree = SettingsTreePrintLines(settings->Model->Tree());
    QByteArray deep;
    for (const QByteArray &line : tree)
        if (line.startsWith("         ") && line.at(9) != ' ') {
            deep = line;
            break;
        }
    ASSERT_FALSE(deep.isEmpty());
    Ui->Print1Click();
    const QString text = PdfText();
    EXPECT_TRUE(text.contains(" SN:1234567 Version V1.04")) << text.left(400).toStdString();
    // pdftotext lays the text out in columns from the leftmost glyph of the page, the header's (one
    // blank in): the root (three blanks) is two columns right of it, an item of depth 3 (nine
    // blanks) eight.
    const QStringList lines = text.split('\n');
    auto columnOf = [&](const QString &start) {
        for (const QString &line : lines)
            if (line.trimmed().startsWith(start))
                return line.indexOf(start);
        return qsizetype(-1);
    };
    const qsizetype header = columnOf("V500 SN:");
    const qsizetype root = columnOf(QString::fromLatin1(tree.first().trimmed()));
    const qsizetype item = columnOf(QString::fromLatin1(deep.trimmed().split(' ').first()));
    ASSERT_GE(header, 0) << text.toStdString();
    EXPECT_EQ(root - header, 2) << text.toStdString();
    EXPECT_EQ(item - header, 8) << text.toStdString();
    // Several pages: the tree does not fit one, and each break is a form feed.
    EXPECT_GE(text.count('\f'), 1);

    // Opening a log during the session asks first: No keeps the session and the chart as they are.
    W->PgCMain->setCurrentWidget(W->TSLog);
    const QString during = WriteFile("during.CSV", {"during", "Time,Weight(kg),", "0.00,1"});
    Reporter.Questions.clear();
    Reporter.Answer = false;
    Open(during);
    ASSERT_EQ(Reporter.Questions.size(), 1);
    EXPECT_TRUE(Reporter.Questions[0].contains("ends the setup session"))
        << Reporter.Questions[0].toStdString();
    EXPECT_FALSE(settings->Model->IsEmpty());
    EXPECT_TRUE(Ui->Tab->LblLogComment->text().startsWith("Printed comment"));
    Reporter.Answer = true;
    Open(during);
    EXPECT_TRUE(settings->Model->IsEmpty());
    EXPECT_EQ(Ui->Tab->LblLogComment->text(), "during");
}

TEST_F(LogTabTest, SavesTheChartAsAPicture)
{
    Open(WriteFile("pic.CSV", {"", "Time,Weight(kg),", "0.00,1.5", "2.00,2.5"}));
    Ui->AskSaveFile = [&](const QString &, const QString &) { return Folder.File("chart"); };
    Ui->SaveChartPicture();
    const QImage png(Folder.File("chart.png"));
    ASSERT_FALSE(png.isNull());
    EXPECT_EQ(png.size(), Ui->Tab->Chart->size());
    Ui->AskSaveFile = [&](const QString &, const QString &) { return Folder.File("chart.pdf"); };
    Ui->SaveChartPicture();
    EXPECT_TRUE(FileText(Folder.File("chart.pdf")).startsWith("%PDF"));
    EXPECT_TRUE(Reporter.Errors.isEmpty());
}
