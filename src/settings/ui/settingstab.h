// TSettingsTab: the Settings tab. The instrument's setup menu as a tree on the left (menus read
// when they are opened) and, on the right, the editor page of the selected item; every accepted
// edit is written at once through the tree model.
#pragma once

#include <QByteArray>
#include <QWidget>
#include <cstdint>

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QTreeView;
class TDevice;
class TEditIp;
class TProductPage;
class TMenuNode;
class TReporter;
class TSession;
class TSettingsTreeModel;
class TTransactionEngine;

// Cuts a text to limit characters of the instrument, where "\" and the two characters after it
// are one; no limit when limit <= 0.
QByteArray CutEscapedText(const QByteArray &text, int limit);

class TSettingsTab : public QWidget
{
    Q_OBJECT
public:
    TSettingsTab(TTransactionEngine *engine, TDevice *device, TSettingsTreeModel *model, TSession *session,
                 TReporter *reporter, QWidget *parent = nullptr);

    static constexpr const char *OutOfRange = "Out of Range: (%s to %s)";
    static constexpr const char *LocalOnly = "Local Function only";

    // The editor of the node (none for a placeholder or a menu).
    void ShowEditor(TMenuNode *node);
    void ShowNone();
    void ShowAccessDenied(const QString &text = {});
    // Opens the root by one level (after a session start).
    void ExpandRoot();
    // The selected node, null when none.
    TMenuNode *Selected() const;
    void Select(TMenuNode *node);

    // Number page: reads the text strictly with the item's decimals, checks the range and writes;
    // a refusal is shown with its reason and nothing is sent.
    bool ApplyNumber();
    void BtnNumOKClick();
    void btnStringOKClick();
    // The instrument prints the text; what comes back shows in the memo until "OK".
    void BtnStringTestClick();
    void BtnStringTestOkClick();
    void AddStringTestText(const QByteArray &text);
    void CbxOptionsChg(int index);
    void BtnIpEditClick();
    void tvMenupopupExpandClick();
    void tvMenuPopupRefreshClick();
    void btnBlockSaveSettingsClick();
    void btnSaveSettingsClick();
    void ShowSaveBlockButtons(bool visible);
    // After a menu was read again: selects the node that now holds the item and opens its editor.
    void SelectAfterReload(TMenuNode *after);

    QTreeView *tvMenuItems;
    QMenu *PopuptvMenu;
    QStackedWidget *pgcConfig;
    QWidget *pgNone, *pgNum, *pgString, *pgStringTest, *pgOptions, *TSIpEditor, *pgAccessDenied;
    QLabel *LblNumRegName, *lblNumRange, *lblNumRegID;
    QLineEdit *EdtNum;
    QPushButton *btnNumOK;
    QLabel *lblStringRegName, *lblStringRegID;
    QLineEdit *EdtString;
    QPushButton *btnStringOK;
    QPushButton *BtnStringTest;
    QPlainTextEdit *MemoStringTest;
    QPushButton *BtnStringTestOk;
    QLabel *LblOptRegName, *lblOptRegID;
    QComboBox *CbxOptions;
    QLabel *LblIpEditRegName, *LblIpEditRegId;
    TEditIp *EditIpReg;
    QPushButton *BtnIpEdit;
    QLabel *lblAccessDenied;
    TProductPage *PgProd;
    QPushButton *btnBlockSaveSettings;
    QPushButton *btnSaveSettings;

    int32_t NumMin = 0;
    int32_t NumMax = 0;
    int NumDecimals = 0;
    // Characters the string item being edited takes (0: no limit known).
    int StringMax = 0;

private:
    void BuildPages();
    // Says the menu limit the last read passed, once.
    void ReportMenuLimit();
    quint64 MenuLimitSaidAt = ~quint64{0}; // the tree generation it was said for
    // The editor's reads (ShowEditor without the focus).
    void ReadEditor(TMenuNode *node);
    // True, with the empty page shown, when the tree was replaced since that generation.
    bool TreeReplacedSince(quint64 generation);
    void ShowNumber(TMenuNode *node, int type);
    void ShowString(TMenuNode *node);
    void ShowOptions(TMenuNode *node);
    void ShowIp(TMenuNode *node);
    QByteArray NumberText(int32_t value) const;
    // Writes the value of the edited item and selects the node that holds it afterwards.
    void Apply(const QByteArray &value);
    void AfterEditCaption(TMenuNode *node);

    TTransactionEngine *Engine;
    TDevice *Device;
    TSettingsTreeModel *Model;
    TSession *Session;
    TReporter *Reporter;
    TMenuNode *Editing = nullptr; // the node whose editor is showing
    int EditingType = 0;
    bool Applying = false; // an edit is being written and refreshed
    bool Filling = false;  // the option list is being filled, not chosen from
};
