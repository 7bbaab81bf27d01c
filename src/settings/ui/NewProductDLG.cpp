// The product name dialog.
#include "settings/ui/NewProductDLG.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TFrmNewProduct::TFrmNewProduct(QWidget *parent) : QDialog(parent)
{
    setObjectName("FrmNewProduct");
    setWindowTitle("New Product");
    auto *label = new QLabel("Product Name : ", this);
    label->setObjectName("Label1");
    EdtName = new QLineEdit(this);
    EdtName->setObjectName("EdtName");
    auto *row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(EdtName, 1);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
    ok->setObjectName("btnOK");
    ok->setDefault(true);
    buttons->addButton("Cancel", QDialogButtonBox::RejectRole)->setObjectName("btnCancel");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    setMinimumWidth(320);
}

void TFrmNewProduct::Setup(const QByteArray &name, int maxLength)
{
    // QLineEdit's own default (32767) stands for "no limit".
    EdtName->setMaxLength(maxLength > 0 ? maxLength : 32767);
    EdtName->setText(QString::fromLatin1(name));
    EdtName->selectAll();
}

QByteArray TFrmNewProduct::Name() const
{
    return EdtName->text().toLatin1();
}
