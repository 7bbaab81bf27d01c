// The product page of the Settings tab.
#include "settings/ui/productpage.h"

#include "base/ui/maincontrols.h"
#include "i18n/LumsLang.h"
#include "link/reporter.h"
#include "settings/device.h"
#include "settings/ui/NewProductDLG.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TProductPage::TProductPage(TTransactionEngine *engine, TDevice *device, TSettingsTreeModel *model,
                           TReporter *reporter, QWidget *parent)
    : QWidget(parent), Ops(engine, device, model), Reporter(reporter)
{
    setObjectName("PgProd");
    auto *layout = new QVBoxLayout(this);
    LblProduct = new QLabel(this);
    LblProduct->setObjectName("LblProduct");
    layout->addWidget(LblProduct);
    auto button = [&](const char *name, const char *text, void (TProductPage::*handler)()) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(name);
        layout->addWidget(b);
        connect(b, &QPushButton::clicked, this, handler);
        return b;
    };
    BtnEditProduct = button("BtnEditProduct", "Edit Product Name", &TProductPage::BtnEditProductClick);
    BtnAddProduct = button("BtnAddProduct", "Add New Product", &TProductPage::BtnAddProductClick);
    BtnDeleteProduct = button("BtnDeleteProduct", "Delete Product", &TProductPage::BtnDeleteProductClick);
    layout->addStretch();
}

void TProductPage::ShowFor(TMenuNode *node)
{
    Node = node;
    const int index = TProductOps::ProductIndex(node);
    const bool product = index >= 0;
    BtnEditProduct->setVisible(product);
    BtnDeleteProduct->setVisible(product);
    LblProduct->setText(
        product ? LangText("Messages", "ProductName", "Product %1: %2")
                      .arg(index + 1)
                      .arg(QString::fromLatin1(node->Data->Name.trimmed()))
                : LangText("Messages", "ProductPick", "Select a product to rename or delete it."));
}

bool TProductPage::AskName(const QByteArray &current, std::optional<int> limit, QByteArray &name,
                           const QByteArray &renaming)
{
    TFrmNewProduct dialog(this, Reporter);
    dialog.Setup(current, limit.value_or(0));
    if (!renaming.isEmpty())
        dialog.SetRenaming(renaming);
    const int result = ExecModal ? ExecModal(&dialog) : dialog.exec();
    if (result != QDialog::Accepted)
        return false;
    name = dialog.Name();
    // The dialog refuses a name that is too long; one that came past it anyway is not sent either.
    if (const QString refusal = TFrmNewProduct::NameRefusal(name, limit.value_or(0)); !refusal.isEmpty()) {
        if (Reporter)
            Reporter->Error(refusal);
        return false;
    }
    return true;
}

void TProductPage::BtnAddProductClick()
{
    std::optional<int> limit;
    {
        TMainControlsGuard lock(this);
        TBusyGuard busy(Reporter);
        limit = Ops.BeginAdd();
    }
    QByteArray name;
    if (!AskName({}, limit, name))
        return;
    TMainControlsGuard lock(this);
    TBusyGuard busy(Reporter);
    Reloaded(Ops.AddProduct(Node, name));
}

void TProductPage::BtnEditProductClick()
{
    std::pair<QByteArray, std::optional<int>> start;
    {
        TMainControlsGuard lock(this);
        TBusyGuard busy(Reporter);
        start = Ops.BeginRename(Node);
    }
    QByteArray name;
    if (!Node || !Node->Data || !AskName(start.first, start.second, name, Node->Data->Name))
        return;
    TMainControlsGuard lock(this);
    TBusyGuard busy(Reporter);
    Reloaded(Ops.RenameProduct(Node, name));
}

void TProductPage::BtnDeleteProductClick()
{
    if (TProductOps::ProductIndex(Node) < 0 || !Reporter ||
        !Reporter->Ask(TProductOps::DeleteQuestion(Node->Data->Name)))
        return;
    TMainControlsGuard lock(this);
    TBusyGuard busy(Reporter);
    Reloaded(Ops.DeleteConfirmed(Node));
}

void TProductPage::Reloaded(TMenuNode *node)
{
    Node = nullptr; // the reload replaced the node the page was opened for
    if (OnReloaded)
        OnReloaded(node);
}
