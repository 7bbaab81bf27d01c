// The chart setup dialog (see ChartSetup.h).
#include "logging/ui/ChartSetup.h"

#include "link/reporter.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace
{

QLineEdit *MakeField(QWidget *parent, const char *name)
{
    auto *field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setMaximumWidth(110);
    return field;
}

} // namespace

TFrmChartSetup::TFrmChartSetup(const TLogModel &log, TReporter *reporter, QWidget *parent)
    : QDialog(parent), Log(log), Reporter(reporter)
{
    setObjectName(QStringLiteral("FrmChartSetup"));
    setWindowTitle(QStringLiteral("Chart Setup"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    EdtTstart = MakeField(this, "EdtTstart");
    EdtTend = MakeField(this, "EdtTend");
    Edtminwgt = MakeField(this, "Edtminwgt");
    EdtMaxWgt = MakeField(this, "EdtMaxWgt");
    EdtComment = new QLineEdit(this);
    EdtComment->setObjectName(QStringLiteral("EdtComment"));
    EdtComment->setMaxLength(50);
    LblMinUnits = new QLabel(this);
    LblMinUnits->setObjectName(QStringLiteral("LblMinUnits"));
    LblMaxUnits = new QLabel(this);
    LblMaxUnits->setObjectName(QStringLiteral("LblMaxUnits"));

    auto *grid = new QGridLayout;
    auto row = [&](int r, const char *name, const QString &caption, QLineEdit *field, QWidget *after) {
        auto *label = new QLabel(caption, this);
        label->setObjectName(name);
        grid->addWidget(label, r, 0);
        grid->addWidget(field, r, 1);
        grid->addWidget(after, r, 2);
    };
    auto secs = [this](const char *name) {
        auto *label = new QLabel(QStringLiteral("Secs"), this);
        label->setObjectName(name);
        return label;
    };
    row(0, "LblTstart", QStringLiteral("Start Time"), EdtTstart, secs("LblTstartUnits"));
    row(1, "LblTend", QStringLiteral("End Time"), EdtTend, secs("LblTendUnits"));
    row(2, "LblMinWgt", QStringLiteral("Min Weight"), Edtminwgt, LblMinUnits);
    row(3, "LblMaxWgt", QStringLiteral("Max Weight"), EdtMaxWgt, LblMaxUnits);
    auto *commentLabel = new QLabel(QStringLiteral("Comment"), this);
    commentLabel->setObjectName(QStringLiteral("LblComment"));
    grid->addWidget(commentLabel, 4, 0);
    grid->addWidget(EdtComment, 4, 1, 1, 2);
    EdtComment->setMinimumWidth(300);

    auto *buttons = new QDialogButtonBox(this);
    BtnOk = buttons->addButton(QStringLiteral("Ok"), QDialogButtonBox::AcceptRole);
    BtnOk->setObjectName(QStringLiteral("BtnOk"));
    BtnOk->setDefault(true);
    BtnCancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
    BtnAuto = buttons->addButton(QStringLiteral("Auto"), QDialogButtonBox::ActionRole);
    BtnAuto->setObjectName(QStringLiteral("BtnAuto"));
    BtnAuto->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(BtnAuto, &QPushButton::clicked, this, &TFrmChartSetup::BtnAutoClick);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    for (QLineEdit *field : {EdtTstart, EdtTend, Edtminwgt, EdtMaxWgt})
        field->installEventFilter(this);
}

void TFrmChartSetup::Fill(const TChartSetupFields &fields, const QByteArray &units, const QByteArray &comment)
{
    Filled = fields;
    EdtTstart->setText(QString::fromLatin1(fields.StartTime));
    EdtTend->setText(QString::fromLatin1(fields.EndTime));
    Edtminwgt->setText(QString::fromLatin1(fields.MinWeight));
    EdtMaxWgt->setText(QString::fromLatin1(fields.MaxWeight));
    LblMinUnits->setText(QString::fromUtf8(units));
    LblMaxUnits->setText(QString::fromUtf8(units));
    // The comment is UTF-8 text: "Łódź €" stays what was typed.
    EdtComment->setText(QString::fromUtf8(comment));
}

bool TFrmChartSetup::CheckEntries()
{
    // A field the user changed must be in range; one still showing the chart's own range (a
    // scrolled chart may start below 0 s) is taken as it is.
    const QByteArray TChartSetupFields::*members[] = {
        &TChartSetupFields::StartTime, &TChartSetupFields::EndTime, &TChartSetupFields::MinWeight,
        &TChartSetupFields::MaxWeight};
    QLineEdit *const fields[] = {EdtTstart, EdtTend, Edtminwgt, EdtMaxWgt};
    for (int i = 0; i < 4; ++i)
        if (fields[i]->text().toLatin1() != Filled.*members[i] && !FieldExit(fields[i]))
            return false;
    TLogRange bottom, left;
    QString error;
    if (ChartSetupRanges(Fields(), &bottom, &left, &error))
        return true;
    Checking = true;
    if (Reporter)
        Reporter->Error(error);
    Checking = false;
    const TChartSetupFields now = Fields();
    QLineEdit *wrong = ChartFieldValue(now.StartTime) < ChartFieldValue(now.EndTime) ? Edtminwgt : EdtTstart;
    wrong->setFocus();
    wrong->selectAll();
    return false;
}

void TFrmChartSetup::done(int result)
{
    // Ok applies all or nothing: a refused entry keeps the dialog open.
    if (result == QDialog::Accepted && !CheckEntries())
        return;
    QDialog::done(result);
}

TChartSetupFields TFrmChartSetup::Fields() const
{
    return {EdtTstart->text().toLatin1(), EdtTend->text().toLatin1(), Edtminwgt->text().toLatin1(),
            EdtMaxWgt->text().toLatin1()};
}

void TFrmChartSetup::BtnAutoClick()
{
    TChartSetupFields fields;
    QString error;
    if (!ChartSetupAuto(Log, Decimals, &fields, &error)) {
        if (Reporter)
            Reporter->Error(error);
        return;
    }
    EdtTstart->setText(QString::fromLatin1(fields.StartTime));
    EdtTend->setText(QString::fromLatin1(fields.EndTime));
    Edtminwgt->setText(QString::fromLatin1(fields.MinWeight));
    EdtMaxWgt->setText(QString::fromLatin1(fields.MaxWeight));
}

bool TFrmChartSetup::EdtXaxisExit(QLineEdit *field)
{
    return FieldExit(field);
}

bool TFrmChartSetup::EdtYaxisExit(QLineEdit *field)
{
    return FieldExit(field);
}

bool TFrmChartSetup::FieldExit(QLineEdit *field)
{
    const bool time = field == EdtTstart || field == EdtTend;
    const QByteArray text = field->text().toLatin1();
    const TChartFieldCheck check = time ? CheckTimeField(text) : CheckWeightField(text, Decimals);
    field->setText(QString::fromLatin1(check.Text));
    if (check.InRange)
        return true;
    // The box takes the focus itself; the field gets it back once the box is gone.
    Checking = true;
    if (Reporter)
        Reporter->Error(check.Error);
    Checking = false;
    field->setFocus();
    field->selectAll();
    return false;
}

bool TFrmChartSetup::eventFilter(QObject *watched, QEvent *event)
{
    auto *field = qobject_cast<QLineEdit *>(watched);
    if (!field)
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            FieldExit(field);
            return true; // Enter rewrites the field and goes no further (not to the Ok button)
        }
        const QString typed = key->text();
        if (!typed.isEmpty() && !ChartFieldKeyAccepted(typed.at(0)))
            return true;
    } else if (event->type() == QEvent::FocusOut && !Checking) {
        // After the focus change has finished, so that the box can take the focus.
        QTimer::singleShot(0, field, [this, field] {
            if (!Checking)
                FieldExit(field);
        });
    }
    return QDialog::eventFilter(watched, event);
}
