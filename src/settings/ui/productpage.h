// PgProd: the Settings tab's page for the product menu. Adding, renaming and deleting a product
// are functions the instrument executes; the menu holding the products is read again after each.
#pragma once

#include "settings/products.h"

#include <QWidget>
#include <functional>

class QDialog;
class QPushButton;
class TReporter;
class TSettingsTreeModel;
struct TMenuNode;

class TProductPage : public QWidget
{
    Q_OBJECT
public:
    TProductPage(TTransactionEngine *engine, TDevice *device, TSettingsTreeModel *model, TReporter *reporter,
                 QWidget *parent = nullptr);

    static constexpr const char *DeleteQuestion = "Deleting a product will clear all Totals.  Continue?";

    // The product menu node the page acts on.
    TMenuNode *Node = nullptr;
    // Shows the name dialog modally (tests answer it).
    std::function<int(QDialog *)> ExecModal;
    // The menu was read again: the node to select now.
    std::function<void(TMenuNode *node)> OnReloaded;

    void BtnEditProductClick();
    void BtnAddProductClick();
    void BtnDeleteProductClick();

    QPushButton *BtnEditProduct, *BtnAddProduct, *BtnDeleteProduct;

private:
    // Asks for a name; false on Cancel.
    bool AskName(const QByteArray &current, std::optional<int> limit, QByteArray &name);
    void Reloaded(TMenuNode *node);

    TProductOps Ops;
    TReporter *Reporter;
};
