// The calibration value dialog (see AbsCal.h).
#include "calibration/ui/AbsCal.h"

#include "i18n/LumsLang.h"
#include "link/reporter.h"
#include "values/tools.h"
#include "values/valuetext.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace
{

bool SignalCharacter(QChar ch)
{
    return ch.isDigit() || ch == ' ' || ch == '+' || ch == ',' || ch == '-' || ch == '.';
}

} // namespace

TFrmAbsCal::TFrmAbsCal(TReporter *reporter, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), Reporter(reporter)
{
    setObjectName("TFrmAbsCal");
    setWindowTitle("Absolute mV/V Calibration");
    lblAbsPrompt = new QLabel(this);
    lblAbsPrompt->setObjectName("lblAbsPrompt");
    EdtAbsMV = new QLineEdit(this);
    EdtAbsMV->setObjectName("EdtAbsMV");
    EdtAbsMV->installEventFilter(this);
    lblMVV = new QLabel("mV/V", this);
    lblMVV->setObjectName("lblMVV");
    LblCalWeight = new QLabel("Calibration Weight", this);
    LblCalWeight->setObjectName("LblCalWeight");
    EdtCalWeight = new QLineEdit(this);
    EdtCalWeight->setObjectName("EdtCalWeight");
    lblCalWeightUnits = new QLabel(this);
    lblCalWeightUnits->setObjectName("lblCalWeightUnits");
    lblCalWeightUnits->setMinimumWidth(fontMetrics().horizontalAdvance("WWW"));
    BtnOk = new QPushButton("Ok", this);
    BtnOk->setObjectName("BtnOk");
    BtnOk->setDefault(true);
    BtnCancel = new QPushButton("Cancel", this);
    BtnCancel->setObjectName("BtnCancel");
    // A click on a button leaves the focus where it is: Cancel does not set off the signal's range
    // check, and Ok checks it itself.
    BtnOk->setFocusPolicy(Qt::TabFocus);
    BtnCancel->setFocusPolicy(Qt::TabFocus);
    connect(BtnOk, &QPushButton::clicked, this, &TFrmAbsCal::accept);
    connect(BtnCancel, &QPushButton::clicked, this, &TFrmAbsCal::reject);

    auto *fields = new QGridLayout;
    fields->addWidget(lblAbsPrompt, 0, 0, 1, 3);
    fields->addWidget(EdtAbsMV, 1, 0, 1, 2);
    fields->addWidget(lblMVV, 1, 2);
    fields->addWidget(LblCalWeight, 2, 0);
    fields->addWidget(EdtCalWeight, 2, 1);
    fields->addWidget(lblCalWeightUnits, 2, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BtnOk);
    buttons->addWidget(BtnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TFrmAbsCal::Setup(const TCalAsk &ask)
{
    SignalShown = ask.Use == TCalUse::DirectZero || ask.Use == TCalUse::DirectSpan;
    WeightTyped = ask.Use == TCalUse::Span || ask.Use == TCalUse::Linearisation;
    WeightDecimals = ask.WeightDecimals;
    const bool weightShown = ask.Use != TCalUse::DirectZero;
    switch (ask.Use) {
    case TCalUse::DirectZero:
    case TCalUse::DirectSpan:
        setWindowTitle(LangText("TFrmAbsCal", "CaptionDirect", "Absolute mV/V Calibration"));
        lblAbsPrompt->setText(ask.Use == TCalUse::DirectZero
                                  ? LangText("TFrmAbsCal", "PromptZero", "Enter Zero Signal")
                                  : LangText("TFrmAbsCal", "PromptSpan", "Enter Span Signal"));
        break;
    case TCalUse::Span:
        setWindowTitle(LangText("TFrmAbsCal", "CaptionSpan", "Span Calibration"));
        break;
    case TCalUse::Linearisation:
        setWindowTitle(LangText("TFrmAbsCal", "CaptionLin", "Linearisation"));
        break;
    }
    lblAbsPrompt->setVisible(SignalShown);
    EdtAbsMV->setVisible(SignalShown);
    lblMVV->setVisible(SignalShown);
    EdtAbsMV->setText(QString::fromLatin1(ask.Signal));
    LblCalWeight->setVisible(weightShown);
    EdtCalWeight->setVisible(weightShown);
    lblCalWeightUnits->setVisible(weightShown);
    EdtCalWeight->setReadOnly(ask.Use == TCalUse::DirectSpan);
    EdtCalWeight->setText(ask.Use == TCalUse::Linearisation ? QString() : QString::fromLatin1(ask.Weight));
    lblCalWeightUnits->setText(QString::fromLatin1(ask.Units).trimmed());
    QLineEdit *first = SignalShown ? EdtAbsMV : EdtCalWeight;
    first->setFocus();
    first->selectAll();
}

QByteArray TFrmAbsCal::Value() const
{
    return (SignalShown ? EdtAbsMV : EdtCalWeight)->text().toLatin1();
}

bool TFrmAbsCal::EdtAbsMVExit()
{
    // Read strictly: a text that is no signal, or has a fifth decimal, is refused as typed, not
    // cut or guessed; a taken one is shown with its four places.
    const QByteArray typed = EdtAbsMV->text().toLatin1();
    if (const TNumberRead number = ReadNumber(QString::fromLatin1(typed), 4))
        EdtAbsMV->setText(QString::fromLatin1(ScaledText(*number, 4)));
    const TNumberRead signal = TCalibration::ReadSignal(typed);
    if (signal)
        return true;
    if (Reporter)
        Reporter->Error(signal.Refusal);
    EdtAbsMV->setFocus();
    return false;
}

bool TFrmAbsCal::CheckWeight()
{
    const TNumberRead weight = TCalibration::ReadWeight(EdtCalWeight->text().toLatin1(), WeightDecimals);
    if (weight) {
        EdtCalWeight->setText(QString::fromLatin1(ScaledText(*weight, WeightDecimals)));
        return true;
    }
    if (Reporter)
        Reporter->Error(weight.Refusal);
    EdtCalWeight->setFocus();
    EdtCalWeight->selectAll();
    return false;
}

void TFrmAbsCal::accept()
{
    // The signal is checked as the field is left; a click on Ok leaves it too. A typed weight is
    // checked here, so that a refused one keeps the dialog open.
    if (SignalShown && !EdtAbsMVExit())
        return;
    if (WeightTyped && !CheckWeight())
        return;
    QDialog::accept();
}

bool TFrmAbsCal::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != EdtAbsMV)
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            // Enter shows the signal with its four places; a text that is no signal stays as typed
            // for Ok to refuse.
            if (const TNumberRead signal = TCalibration::ReadSignal(EdtAbsMV->text().toLatin1()))
                EdtAbsMV->setText(QString::fromLatin1(ScaledText(*signal, 4)));
            return true;
        }
        const QString text = key->text();
        if (!text.isEmpty() && text.at(0).isPrint() && !SignalCharacter(text.at(0)))
            return true;
    } else if (event->type() == QEvent::FocusOut) {
        // Another window taking the focus (the error box itself) is not leaving the field.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (isVisible() && SignalShown && reason != Qt::ActiveWindowFocusReason &&
            reason != Qt::PopupFocusReason)
            EdtAbsMVExit();
    }
    return QDialog::eventFilter(watched, event);
}

void TFrmAbsCal::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}
