// TNumEdit (see NumEdit.h).
#include "settings/ui/NumEdit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>

#include <cmath>

TNumEdit::TNumEdit(QWidget *parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textChanged, this, [this] { Change(); });
}

bool TNumEdit::TextToInt(const QString &text, int *value)
{
    static const QRegularExpression form("^[+-]?[0-9]+$");
    if (!form.match(text).hasMatch())
        return false;
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok);
    if (!ok || v < INT32_MIN || v > INT32_MAX)
        return false;
    *value = static_cast<int>(v);
    return true;
}

bool TNumEdit::TextToFloat(const QString &text, double *value)
{
    static const QRegularExpression form("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?$");
    if (!form.match(text).hasMatch())
        return false;
    bool ok = false;
    const double v = text.toDouble(&ok); // QString::toDouble uses the C locale: "." always
    if (!ok || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

bool TNumEdit::KeyPasses(int type, QChar key)
{
    const char16_t c = key.unicode();
    if (c == 8) // backspace always passes
        return true;
    switch (type) {
    case dtFloat:
        return (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E';
    case dtInteger:
        return (c >= '0' && c <= '9') || c == '-';
    case dtPrintable:
        // The 8-bit printable range, with the typographic single quotes (0x91, 0x92 in the
        // instrument's character set, U+2018/U+2019 as typed here).
        return (c >= 0x20 && c <= 0x7E) || c == 0x91 || c == 0x92 || c == 0x2018 || c == 0x2019 ||
               (c >= 0xA0 && c <= 0xFF);
    case dtFilename:
        return !QStringView(u"\"*/:<>?\\|").contains(key);
    default:
        return true;
    }
}

void TNumEdit::SeteditType(int value)
{
    Type = value;
    if (ChangeSeen)
        Validate();
}

double TNumEdit::AsFloat() const
{
    double v = 0;
    return TextToFloat(text(), &v) ? v : MinReal;
}

void TNumEdit::keyPressEvent(QKeyEvent *event)
{
    // Escape belongs to the dialog around the field (its Cancel).
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    const QString typed = event->text();
    // Keys without a character (arrows, Delete, Home...) are editing, not typing.
    if (typed.isEmpty() || (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    QChar key = typed.at(0);
    if (event->key() == Qt::Key_Backspace)
        key = QChar(8);
    const bool enter = key == QChar('\r') || key == QChar('\n') || event->key() == Qt::Key_Return ||
                       event->key() == Qt::Key_Enter;
    bool dropped = !enter && !KeyPasses(Type, key);
    // Number types take no Enter into their text; the other types let the line edit see it.
    if (enter && (Type == dtFloat || Type == dtInteger))
        dropped = true;
    if (!dropped && OnKeyPress) {
        OnKeyPress(this, key);
        dropped = key.isNull();
    }
    if (!dropped) {
        if (key == typed.at(0) || key == QChar(8) || enter) {
            QLineEdit::keyPressEvent(event);
        } else {
            // The handler changed the key: type the new one instead.
            QKeyEvent changed(event->type(), 0, event->modifiers(), QString(key));
            QLineEdit::keyPressEvent(&changed);
        }
    } else {
        event->accept();
    }
    if (enter)
        emit EnterKeyPress(this);
}

void TNumEdit::Change()
{
    // The first change after creation is the form filling the field: neither checked nor passed on.
    if (!ChangeSeen) {
        ChangeSeen = true;
        return;
    }
    Validate();
    emit Changed(this);
}

void TNumEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    // Another window becoming active (a message box, another program) is not leaving the field.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    Validate();
    if (!Ok)
        ReturnFocus();
    else
        emit Exited(this);
}

void TNumEdit::ReturnFocus()
{
    QWidget *form = window();
    if (!form)
        return;
    // The focus has already moved: the window's focus widget is the control receiving it.
    QWidget *receiving = form->focusWidget();
    if (receiving && receiving != this && receiving->property(TagProperty).toInt() == CancelTag)
        return;
    // Taking the focus back from inside the focus change would confuse it: do it right after.
    QPointer<TNumEdit> self(this);
    ErrorPending = true;
    QTimer::singleShot(0, this, [self] {
        if (!self)
            return;
        self->ErrorPending = false;
        self->setFocus(Qt::OtherFocusReason);
        emit self->ExitError(self);
    });
}

void TNumEdit::Validate()
{
    switch (Type) {
    case dtFloat:
        ValidateFloat();
        break;
    case dtInteger:
        ValidateInteger();
        break;
    default:
        ValidateLength();
        break;
    }
}

template <typename T> void TNumEdit::CheckRange(T v, T min, T max)
{
    Ok = true;
    const bool high = MaxInclusive ? v > max : v >= max;
    const bool low = MinInclusive ? v < min : v <= min;
    if (high)
        MarkError();
    if (low)
        MarkError();
    if (Ok)
        MarkOK();
}

void TNumEdit::ValidateInteger()
{
    int v = 0;
    if (!TextToInt(text(), &v)) {
        MarkError();
        return;
    }
    CheckRange<qint64>(v, Min, Max);
}

void TNumEdit::ValidateFloat()
{
    double v = 0;
    if (!TextToFloat(text(), &v)) {
        MarkError();
        return;
    }
    CheckRange<double>(v, MinReal, MaxReal);
}

void TNumEdit::ValidateLength()
{
    CheckRange<qint64>(text().size(), Min, Max);
}

void TNumEdit::SetTextColour(const QColor &colour)
{
    QPalette p = palette();
    p.setColor(QPalette::Text, colour);
    setPalette(p);
}

void TNumEdit::MarkError()
{
    SetTextColour(ColorError);
    Ok = false;
    emit DataError(this);
}

void TNumEdit::MarkOK()
{
    SetTextColour(ColorOK);
    Ok = true;
}
