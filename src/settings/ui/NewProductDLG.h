// TFrmNewProduct: the product name dialog, for adding a product and for renaming the current one.
#pragma once

#include <QDialog>

class QLineEdit;

class TFrmNewProduct : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmNewProduct(QWidget *parent = nullptr);

    // The name to start with and the longest name the instrument takes (none: no limit).
    void Setup(const QByteArray &name, int maxLength);
    QByteArray Name() const;

    QLineEdit *EdtName;
};
