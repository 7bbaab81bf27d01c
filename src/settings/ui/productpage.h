// PgProd: the Settings tab's page for the product menu. Adding, renaming and deleting a product
// are functions the instrument executes; the menu holding the products is read again after each.
#pragma once

#include "settings/products.h"

#include <QWidget>
#include <functional>

class QDialog;
class QLabel;
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

    // The page for a node of the product menu: a product's node offers all three functions and
    // names the product; the product menu itself offers only the add (a rename or delete needs
    // a product chosen).
    void ShowFor(TMenuNode *node);
    // The node the page acts on.
    TMenuNode *Node = nullptr;
    // What the last function came to (tests read it).
    TProductOutcome LastOutcome() const { return Ops.LastOutcome; }
    // Shows the name dialog modally (tests answer it).
    std::function<int(QDialog *)> ExecModal;
    // The menu was read again: the node to select now.
    std::function<void(TMenuNode *node)> OnReloaded;

    void BtnEditProductClick();
    void BtnAddProductClick();
    void BtnDeleteProductClick();

    QPushButton *BtnEditProduct, *BtnAddProduct, *BtnDeleteProduct;
    QLabel *LblProduct;

private:
    // Asks for a name; false on Cancel.
    bool AskName(const QByteArray &current, std::optional<int> limit, QByteArray &name,
                 const QByteArray &renaming = {});
    void Reloaded(TMenuNode *node);

    TProductOps Ops;
    TReporter *Reporter;
};
