// TNumEdit: a line edit that filters keys by data type, checks its value (or text length) against a
// range while typing and on leaving, shows invalid entries in the error colour and keeps the focus
// until the entry is valid (a control tagged with CancelTag may still take it).
#pragma once

#include <QColor>
#include <QLineEdit>
#include <functional>

enum TDataType : int { dtFloat = 0, dtInteger = 1, dtString = 2, dtPrintable = 3, dtFilename = 4 };

class TNumEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(double MaxReal MEMBER MaxReal)
    Q_PROPERTY(int Max MEMBER Max)
    Q_PROPERTY(bool MaxInclusive MEMBER MaxInclusive)
    Q_PROPERTY(double MinReal MEMBER MinReal)
    Q_PROPERTY(int Min MEMBER Min)
    Q_PROPERTY(bool MinInclusive MEMBER MinInclusive)
    Q_PROPERTY(int editType READ editType WRITE SeteditType)
    Q_PROPERTY(QColor ColorOK MEMBER ColorOK)
    Q_PROPERTY(QColor ColorError MEMBER ColorError)
    Q_PROPERTY(int CancelTag MEMBER CancelTag)

public:
    explicit TNumEdit(QWidget *parent = nullptr);

    double MaxReal = 1000.0;
    int Max = 1000;
    bool MaxInclusive = true;
    double MinReal = 0.0;
    int Min = 0;
    bool MinInclusive = true;
    QColor ColorOK = Qt::black;
    QColor ColorError = Qt::red;
    int CancelTag = 1234567890;

    int editType() const { return Type; }
    void SeteditType(int value);
    // The text as a number, or MinReal when it does not convert.
    double AsFloat() const;
    bool DataOK() const { return Ok; }
    // The entry was left while invalid: the focus is coming back and ExitError is on its way.
    bool ExitErrorPending() const { return ErrorPending; }

    // Sees every key that passed the filter and may change it (a null character drops it).
    std::function<void(TNumEdit *, QChar &)> OnKeyPress;

    // The dynamic property a control carries its tag in (buttons that may take the focus from an
    // invalid entry carry CancelTag).
    static constexpr const char *TagProperty = "tag";

    // Strict conversions used by the validators: optional sign, decimal digits, and for floats an
    // optional fraction and exponent; nothing else, no blanks.
    static bool TextToInt(const QString &text, int *value);
    static bool TextToFloat(const QString &text, double *value);
    // Whether the key filter of a data type lets a character through.
    static bool KeyPasses(int type, QChar key);

signals:
    void Changed(TNumEdit *sender);       // OnChange
    void Exited(TNumEdit *sender);        // OnExit
    void EnterKeyPress(TNumEdit *sender); // OnEnterKeyPress
    void DataError(TNumEdit *sender);     // OnDataError
    void ExitError(TNumEdit *sender);     // OnExitError

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void Change();
    void Validate();
    void ValidateInteger();
    void ValidateFloat();
    void ValidateLength();
    template <typename T> void CheckRange(T v, T min, T max);
    void MarkError();
    void MarkOK();
    void SetTextColour(const QColor &colour);
    void ReturnFocus();

    int Type = dtInteger;
    bool Ok = true;
    bool ChangeSeen = false;
    bool ErrorPending = false;
};
