// TFrmNewProduct: the product name dialog, for adding a product and for renaming the current one.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class TReporter;

class TFrmNewProduct : public QDialog
{
    Q_OBJECT
public:
    // reporter: where a name that is too long is refused.
    explicit TFrmNewProduct(QWidget *parent = nullptr, TReporter *reporter = nullptr);

    // The name to start with and the longest name the instrument takes (0: no limit).
    void Setup(const QByteArray &name, int maxLength);
    QByteArray Name() const;
    int Limit() const { return MaxLength; }
    // Why the name cannot be sent (longer than the limit), or empty.
    static QString NameRefusal(const QByteArray &name, int maxLength);
    // Ok: a name longer than the instrument takes is refused with the reason and the dialog stays.
    void accept() override;

    // Renaming: the caption and the question name the product being renamed.
    void SetRenaming(const QByteArray &product);

    QLabel *Label1;
    QLineEdit *EdtName;

private:
    TReporter *Reporter;
    int MaxLength = 0;
};
