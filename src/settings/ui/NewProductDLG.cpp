// The product name dialog.
#include "settings/ui/NewProductDLG.h"

#include "i18n/LumsLang.h"
#include "link/reporter.h"
#include "values/valuetext.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

TFrmNewProduct::TFrmNewProduct(QWidget *parent, TReporter *reporter) : QDialog(parent), Reporter(reporter)
{
    setObjectName("FrmNewProduct");
    setWindowTitle(LangText("TFrmNewProduct", "CaptionNew", "New Product"));
    Label1 = new QLabel(LangText("TFrmNewProduct", "PromptNew", "Product Name : "), this);
    Label1->setObjectName("Label1");
    EdtName = new QLineEdit(this);
    EdtName->setObjectName("EdtName");
    auto *row = new QHBoxLayout;
    row->addWidget(Label1);
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
    // The limit is checked on Ok, with a message: a field limit would cut a pasted name silently.
    MaxLength = std::max(maxLength, 0);
    EdtName->setText(QString::fromLatin1(name));
    EdtName->selectAll();
}

QString TFrmNewProduct::NameRefusal(const QByteArray &name, int maxLength)
{
    return TextLengthRefusal(QStringLiteral("a product name"), static_cast<int>(name.size()), maxLength);
}

void TFrmNewProduct::accept()
{
    if (const QString refusal = NameRefusal(Name(), MaxLength); !refusal.isEmpty()) {
        if (Reporter)
            Reporter->Error(refusal);
        EdtName->setFocus();
        return;
    }
    QDialog::accept();
}

void TFrmNewProduct::SetRenaming(const QByteArray &product)
{
    setWindowTitle(LangText("TFrmNewProduct", "CaptionRename", "Rename Product"));
    Label1->setText(LangText("TFrmNewProduct", "PromptRename", "New name for the product %1 : ")
                        .arg(QString::fromLatin1(product.trimmed())));
}

QByteArray TFrmNewProduct::Name() const
{
    return EdtName->text().toLatin1();
}
