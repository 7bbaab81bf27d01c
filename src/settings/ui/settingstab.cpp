// The Settings tab: the tree, its pop-up menu, the editor pages and the save-block buttons.
#include "settings/ui/settingstab.h"

#include "base/ui/maincontrols.h"
#include "i18n/LumsLang.h"
#include "link/comms.h"
#include "link/reporter.h"
#include "link/transact.h"
#include "settings/device.h"
#include "settings/session.h"
#include "settings/settingstree.h"
#include "settings/ui/EditIp.h"
#include "settings/ui/productpage.h"
#include "values/tools.h"
#include "values/valuetext.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

QByteArray CutEscapedText(const QByteArray &text, int limit)
{
    if (limit <= 0)
        return text;
    int count = 0;
    for (int i = 0; i < text.size();) {
        // A "\" and the two characters after it are one character at the instrument.
        const int step = text[i] == '\\' ? 3 : 1;
        if (++count == limit && i + step < text.size())
            return text.left(i + step);
        i += step;
    }
    return text;
}

namespace
{

QLabel *Label(const char *name, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    return label;
}

QPushButton *Button(const char *name, const char *text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    return button;
}

QWidget *Page(const char *name, QStackedWidget *stack)
{
    auto *page = new QWidget(stack);
    page->setObjectName(name);
    new QVBoxLayout(page);
    stack->addWidget(page);
    return page;
}

// A key runs an action and goes no further: Enter in an edit field its OK action (no default
// button fires), "*" in the tree the tab's own Expand All.
class TKeyFilter : public QObject
{
public:
    TKeyFilter(QObject *parent, std::function<void()> action,
               QList<int> keys = {Qt::Key_Return, Qt::Key_Enter})
        : QObject(parent), Action(std::move(action)), Keys(std::move(keys))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            if (Keys.contains(static_cast<QKeyEvent *>(event)->key())) {
                Action();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> Action;
    QList<int> Keys;
};

void OnEnter(QLineEdit *edit, std::function<void()> action)
{
    edit->installEventFilter(new TKeyFilter(edit, std::move(action)));
}

} // namespace

TSettingsTab::TSettingsTab(TTransactionEngine *engine, TDevice *device, TSettingsTreeModel *model,
                           TSession *session, TReporter *reporter, QWidget *parent)
    : QWidget(parent), Engine(engine), Device(device), Model(model), Session(session), Reporter(reporter)
{
    setObjectName("SettingsTab");
    tvMenuItems = new QTreeView(this);
    tvMenuItems->setObjectName("tvMenuItems");
    tvMenuItems->setModel(Model);
    tvMenuItems->setHeaderHidden(true);
    tvMenuItems->setIndentation(19);
    tvMenuItems->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvMenuItems->setSelectionMode(QAbstractItemView::SingleSelection);
    QFont mono("Courier New");
    mono.setStyleHint(QFont::Monospace);
    mono.setPixelSize(13);
    tvMenuItems->setFont(mono);
    tvMenuItems->setContextMenuPolicy(Qt::CustomContextMenu);
    // The view's own "*" expands what is loaded and asks for the rest while laying out; the tab's
    // Expand All reads every menu below first, with the controls locked, then opens them.
    tvMenuItems->installEventFilter(
        new TKeyFilter(tvMenuItems, [this] { tvMenupopupExpandClick(); }, {Qt::Key_Asterisk}));
    connect(tvMenuItems->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                if (!Applying)
                    ShowEditor(Model->NodeAt(current));
            });
    connect(Model, &QAbstractItemModel::modelReset, this, [this] {
        ShowNone();
        // A new tree whose menus passed a limit says so once it is shown.
        QTimer::singleShot(0, this, &TSettingsTab::ReportMenuLimit);
    });
    // A menu still holding its placeholder is read when it opens, also where the view has not
    // laid itself out yet and so asks the model for nothing.
    const auto openMenu = [this](const QModelIndex &index) {
        TMenuNode *node = Model->NodeAt(index);
        if (node && node->HasPlaceholder()) {
            TMainControlsGuard lock(this);
            TBusyGuard busy(Reporter);
            Model->Expanding(node);
            ReportMenuLimit();
        }
    };
    connect(tvMenuItems, &QTreeView::expanded, this, openMenu);
    connect(Model, &TSettingsTreeModel::MenuWanted, this, openMenu);

    PopuptvMenu = new QMenu(this);
    PopuptvMenu->setObjectName("PopuptvMenu");
    PopuptvMenu->addAction("Expand All", this, &TSettingsTab::tvMenupopupExpandClick)
        ->setObjectName("ExpandAll1");
    PopuptvMenu->addAction("Refresh", this, &TSettingsTab::tvMenuPopupRefreshClick)
        ->setObjectName("Refresh1");
    connect(tvMenuItems, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        // The right button selects the node under the pointer (none over empty space).
        const QModelIndex at = tvMenuItems->indexAt(pos);
        if (at.isValid())
            tvMenuItems->setCurrentIndex(at);
        else {
            tvMenuItems->selectionModel()->clear();
            ShowNone();
        }
        PopuptvMenu->popup(tvMenuItems->viewport()->mapToGlobal(pos));
    });

    pgcConfig = new QStackedWidget(this);
    pgcConfig->setObjectName("pgcConfig");
    BuildPages();

    btnBlockSaveSettings =
        Button("btnBlockSaveSettings", "Temporarily block indicator save/initialise", this);
    btnSaveSettings = Button("btnSaveSettings", "Allow indicator save/initialise", this);
    btnSaveSettings->setEnabled(false);
    connect(btnBlockSaveSettings, &QPushButton::clicked, this, &TSettingsTab::btnBlockSaveSettingsClick);
    connect(btnSaveSettings, &QPushButton::clicked, this, &TSettingsTab::btnSaveSettingsClick);
    ShowSaveBlockButtons(false);

    auto *right = new QVBoxLayout;
    right->addWidget(pgcConfig, 1);
    right->addWidget(btnBlockSaveSettings);
    right->addWidget(btnSaveSettings);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(tvMenuItems, 1);
    layout->addLayout(right, 1);
    ShowNone();
}

void TSettingsTab::BuildPages()
{
    pgNone = Page("pgNone", pgcConfig);

    pgNum = Page("pgNum", pgcConfig);
    LblNumRegName = Label("LblNumRegName", pgNum);
    EdtNum = new QLineEdit(pgNum);
    EdtNum->setObjectName("EdtNum");
    // No length limit and no key filter: a field that cut or dropped what was typed or pasted would
    // write a number nobody entered. OK reads the text strictly and says why it refuses it.
    lblNumRange = Label("lblNumRange", pgNum);
    lblNumRegID = Label("lblNumRegID", pgNum);
    btnNumOK = Button("btnNumOK", "OK", pgNum);
    for (QWidget *w :
         std::initializer_list<QWidget *>{LblNumRegName, EdtNum, lblNumRange, lblNumRegID, btnNumOK})
        pgNum->layout()->addWidget(w);
    static_cast<QVBoxLayout *>(pgNum->layout())->addStretch();
    connect(btnNumOK, &QPushButton::clicked, this, &TSettingsTab::BtnNumOKClick);
    OnEnter(EdtNum, [this] { BtnNumOKClick(); });

    pgString = Page("pgString", pgcConfig);
    lblStringRegName = Label("lblStringRegName", pgString);
    EdtString = new QLineEdit(pgString);
    EdtString->setObjectName("EdtString");
    lblStringRegID = Label("lblStringRegID", pgString);
    btnStringOK = Button("btnStringOK", "OK", pgString);
    BtnStringTest = Button("BtnStringTest", "Test", pgString);
    for (QWidget *w : std::initializer_list<QWidget *>{lblStringRegName, EdtString, lblStringRegID,
                                                       btnStringOK, BtnStringTest})
        pgString->layout()->addWidget(w);
    static_cast<QVBoxLayout *>(pgString->layout())->addStretch();
    connect(btnStringOK, &QPushButton::clicked, this, &TSettingsTab::btnStringOKClick);
    OnEnter(EdtString, [this] { btnStringOKClick(); });
    connect(BtnStringTest, &QPushButton::clicked, this, &TSettingsTab::BtnStringTestClick);

    pgStringTest = Page("pgStringTest", pgcConfig);
    MemoStringTest = new QPlainTextEdit(pgStringTest);
    MemoStringTest->setObjectName("MemoStringTest");
    MemoStringTest->setReadOnly(true);
    MemoStringTest->setMaximumBlockCount(500);
    MemoStringTest->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont mono("Courier New");
    mono.setStyleHint(QFont::Monospace);
    MemoStringTest->setFont(mono);
    BtnStringTestOk = Button("BtnStringTestOk", "OK", pgStringTest);
    pgStringTest->layout()->addWidget(MemoStringTest);
    pgStringTest->layout()->addWidget(BtnStringTestOk);
    connect(BtnStringTestOk, &QPushButton::clicked, this, &TSettingsTab::BtnStringTestOkClick);
    // The engine outlives no window, but may outlive this tab while the window is torn down.
    QPointer<TSettingsTab> self(this);
    Engine->OnStringTestEcho = [self](const QByteArray &text) {
        if (self)
            self->AddStringTestText(text);
    };

    pgOptions = Page("pgOptions", pgcConfig);
    LblOptRegName = Label("LblOptRegName", pgOptions);
    CbxOptions = new QComboBox(pgOptions);
    CbxOptions->setObjectName("CbxOptions");
    lblOptRegID = Label("lblOptRegID", pgOptions);
    for (QWidget *w : std::initializer_list<QWidget *>{LblOptRegName, CbxOptions, lblOptRegID})
        pgOptions->layout()->addWidget(w);
    static_cast<QVBoxLayout *>(pgOptions->layout())->addStretch();
    connect(CbxOptions, &QComboBox::activated, this, &TSettingsTab::CbxOptionsChg);

    TSIpEditor = Page("TSIpEditor", pgcConfig);
    LblIpEditRegName = Label("LblIpEditRegName", TSIpEditor);
    EditIpReg = new TEditIp(TSIpEditor);
    EditIpReg->setObjectName("EditIpReg");
    LblIpEditRegId = Label("LblIpEditRegId", TSIpEditor);
    BtnIpEdit = Button("BtnIpEdit", "OK", TSIpEditor);
    // A click on OK leaves the focus in the field: the field takes the focus back quietly from a text
    // that is no address, which would swallow the click; OK reads the text itself and says why.
    BtnIpEdit->setFocusPolicy(Qt::TabFocus);
    for (QWidget *w :
         std::initializer_list<QWidget *>{LblIpEditRegName, EditIpReg, LblIpEditRegId, BtnIpEdit})
        TSIpEditor->layout()->addWidget(w);
    static_cast<QVBoxLayout *>(TSIpEditor->layout())->addStretch();
    connect(BtnIpEdit, &QPushButton::clicked, this, &TSettingsTab::BtnIpEditClick);

    pgAccessDenied = Page("pgAccessDenied", pgcConfig);
    lblAccessDenied = Label("lblAccessDenied", pgAccessDenied);
    lblAccessDenied->setFixedWidth(265);
    pgAccessDenied->layout()->addWidget(lblAccessDenied);
    static_cast<QVBoxLayout *>(pgAccessDenied->layout())->addStretch();

    PgProd = new TProductPage(Engine, Device, Model, Reporter, pgcConfig);
    pgcConfig->addWidget(PgProd);
    PgProd->OnReloaded = [this](TMenuNode *node) { SelectAfterReload(node); };
}

// --- selection and editors ----------------------------------------------------------------

TMenuNode *TSettingsTab::Selected() const
{
    return Model->NodeAt(tvMenuItems->currentIndex());
}

void TSettingsTab::Select(TMenuNode *node)
{
    if (node)
        tvMenuItems->setCurrentIndex(Model->IndexOf(node));
}

void TSettingsTab::ExpandRoot()
{
    if (TMenuNode *root = Model->Root())
        tvMenuItems->expand(Model->IndexOf(root));
}

void TSettingsTab::ShowNone()
{
    Editing = nullptr;
    pgcConfig->setCurrentWidget(pgNone);
}

void TSettingsTab::ShowAccessDenied(const QString &text)
{
    lblAccessDenied->setText(text.isEmpty() ? LangText("Messages", "AccessDenied", "Access Denied") : text);
    pgcConfig->setCurrentWidget(pgAccessDenied);
}

void TSettingsTab::ShowEditor(TMenuNode *node)
{
    Engine->SetReplyRoute(RouteNone);
    ShowNone();
    if (!node || !node->Data)
        return;
    {
        TMainControlsGuard lock(this);
        TRegisterKeeper keep(*Device);
        TBusyGuard busy(Reporter);
        ReadEditor(node);
    }
    // The editor takes the keyboard once the page can have it again.
    if (Editing) {
        QWidget *page = pgcConfig->currentWidget();
        if (page == pgNum)
            EdtNum->setFocus();
        else if (page == pgString)
            EdtString->setFocus();
        else if (page == pgOptions)
            CbxOptions->setFocus();
        else if (page == TSIpEditor)
            EditIpReg->setFocus();
    }
}

bool TSettingsTab::TreeReplacedSince(quint64 generation)
{
    if (generation == Model->Generation())
        return false;
    ShowNone();
    return true;
}

void TSettingsTab::ReadEditor(TMenuNode *node)
{
    // The reads wait on the instrument: the tree may be replaced meanwhile, and the node with it.
    const quint64 generation = Model->Generation();
    const int type = node->Data->Type();
    if (!Model->AnnounceItem(node) || TreeReplacedSince(generation))
        return;
    Device->SetRegisterText(node->Data->Register);
    Device->SetMenu(node->Data->MenuKey);
    EditingType = type;
    if (type >= 1 && type <= 5)
        ShowNumber(node, type);
    else if (type == 6)
        ShowString(node);
    else if (type == 7 || type == 12 || type == 17)
        ShowOptions(node);
    else if (type == 8 && node->Data->RegisterNumber() == 0xB100 && HexToInt(node->Data->MenuKey) != 1) {
        // The product menu and each product; the current-product menu is a menu like any.
        PgProd->ShowFor(node);
        pgcConfig->setCurrentWidget(PgProd);
    } else if (type == 8)
        ShowNone();
    else if (type == 18)
        ShowIp(node);
    else
        ShowAccessDenied(LocalOnly);
    TreeReplacedSince(generation);
}

QByteArray TSettingsTab::NumberText(int32_t value) const
{
    return EditingType == 5 ? UnsignedToDecimalText(static_cast<uint32_t>(value), NumDecimals)
                            : SignedToDecimalText(value, NumDecimals);
}

void TSettingsTab::ShowNumber(TMenuNode *node, int type)
{
    const TMenuItemData &item = *node->Data;
    const QString regId =
        LangText("Messages", "RegisterId", "(Register: %1)").arg(QString::fromLatin1(item.Register));
    lblNumRegID->setText(regId);
    bool editable = false;
    const quint64 generation = Model->Generation();
    Device->ReadMinimum();
    if (TreeReplacedSince(generation))
        return;
    if (!Device->ReplyFailed()) {
        NumMin = type == 2 ? Device->ReplyHexSigned16() : Device->ReplyHex();
        editable = true;
    }
    Device->ReadMaximum();
    if (TreeReplacedSince(generation))
        return;
    if (Device->ReplyFailed())
        editable = false;
    else
        NumMax = Device->ReplyHex();
    if (item.Readable) {
        NumDecimals = DecimalsIn(item.Literal);
        EdtNum->setText(QString::fromLatin1(NumberText(static_cast<int32_t>(HexToInt(item.Value)))));
    } else
        editable = false;
    if (!editable) {
        ShowAccessDenied();
        return;
    }
    LblNumRegName->setText(QString::fromLatin1(node->Text));
    lblNumRange->setText(
        LangText("Messages", "NumRange", "( %1 to %2 )")
            .arg(QString::fromLatin1(NumberText(NumMin)), QString::fromLatin1(NumberText(NumMax))));
    Editing = node;
    pgcConfig->setCurrentWidget(pgNum);
}

void TSettingsTab::ShowString(TMenuNode *node)
{
    const TMenuItemData &item = *node->Data;
    lblStringRegName->setText(QString::fromLatin1(node->Text));
    lblStringRegID->setText(
        LangText("Messages", "RegisterId", "(Register: %1)").arg(QString::fromLatin1(item.Register)));
    const quint64 generation = Model->Generation();
    Device->ReadMaximum();
    if (TreeReplacedSince(generation))
        return;
    bool editable = !Device->ReplyFailed();
    StringMax = 0;
    if (editable) {
        // The limit is checked on OK, with a message: a field limit would cut a pasted text silently.
        const int max = Device->ReplyHex();
        StringMax = max > 0 && max < 10000 ? max : 0;
    }
    if (item.Readable)
        EdtString->setText(QString::fromLatin1(item.Value));
    else
        editable = false;
    if (!editable) {
        ShowAccessDenied();
        return;
    }
    Editing = node;
    pgcConfig->setCurrentWidget(pgString);
}

void TSettingsTab::ShowOptions(TMenuNode *node)
{
    const TMenuItemData &item = *node->Data;
    LblOptRegName->setText(QString::fromLatin1(node->Text));
    lblOptRegID->setText(
        LangText("Messages", "RegisterId", "(Register: %1)").arg(QString::fromLatin1(item.Register)));
    if (!item.Readable) {
        ShowAccessDenied();
        return;
    }
    const quint64 generation = Model->Generation();
    const QByteArray reg = item.Register;
    Filling = true;
    CbxOptions->clear();
    if (auto options = Device->ReadOptions())
        for (const QByteArray &text : *options)
            CbxOptions->addItem(QString::fromLatin1(text));
    Device->SetRegisterText(reg);
    Device->ReadMinimum();
    if (TreeReplacedSince(generation)) {
        Filling = false;
        return;
    }
    const int first = Device->ReplyFailed() ? 0 : Device->ReplyHex();
    CbxOptions->setCurrentIndex(static_cast<int>(HexToInt(item.Value)) - first);
    Filling = false;
    Editing = node;
    pgcConfig->setCurrentWidget(pgOptions);
}

void TSettingsTab::ShowIp(TMenuNode *node)
{
    const TMenuItemData &item = *node->Data;
    LblIpEditRegName->setText(QString::fromLatin1(node->Text));
    LblIpEditRegId->setText(
        LangText("Messages", "RegisterId", "(Register: %1)").arg(QString::fromLatin1(item.Register)));
    if (!item.Readable) {
        ShowAccessDenied();
        return;
    }
    EditIpReg->SetIpAddressInt(HexToInt(item.Value));
    Editing = node;
    pgcConfig->setCurrentWidget(TSIpEditor);
}

// --- edits ----------------------------------------------------------------------------------

void TSettingsTab::Apply(const QByteArray &value)
{
    TMenuNode *node = Editing;
    if (!node)
        return;
    TMainControlsGuard lock(this);
    TBusyGuard busy(Reporter);
    const quint64 generation = Model->Generation();
    Applying = true;
    TMenuNode *after = Model->ApplyEdit(node, value);
    Applying = false;
    if (!after || TreeReplacedSince(generation))
        return; // the session ended meanwhile: nothing left to show
    if (after == node) {
        // The item stayed where it was: only its caption changed.
        const QString caption = QString::fromLatin1(node->Text);
        LblOptRegName->setText(caption);
        LblNumRegName->setText(caption);
        lblStringRegName->setText(caption);
    } else {
        SelectAfterReload(after);
    }
    if (!TreeReplacedSince(generation))
        Model->CheckUnitsChange();
}

void TSettingsTab::SelectAfterReload(TMenuNode *after)
{
    // Its menu was read again: select the item anew, which opens its editor again.
    ShowNone();
    if (after && after->Parent)
        tvMenuItems->expand(Model->IndexOf(after->Parent));
    Applying = true;
    Select(after);
    Applying = false;
    ShowEditor(after);
}

bool TSettingsTab::ApplyNumber()
{
    // Read strictly with the decimals the item shows: a text that is no number, has more decimals
    // or is out of range is refused with the reason, stays as typed and keeps the focus.
    const QString typed = EdtNum->text();
    const TNumberRead read = ReadNumber(typed, NumDecimals);
    QString refusal = read.Refusal;
    if (read) {
        const int64_t v = *read;
        const bool inRange = EditingType == 5
                                 ? v >= 0 && v <= 0xFFFFFFFFLL &&
                                       static_cast<uint32_t>(NumMin) <= static_cast<uint32_t>(v) &&
                                       static_cast<uint32_t>(v) <= static_cast<uint32_t>(NumMax)
                                 : v >= INT32_MIN && v <= INT32_MAX && NumMin <= v && v <= NumMax;
        if (inRange) {
            EdtNum->setText(QString::fromLatin1(ScaledText(v, NumDecimals)));
            // A negative value goes as 8 digits of two's complement.
            Apply(HexText(static_cast<uint32_t>(v), 4));
            return true;
        }
        EdtNum->setText(QString::fromLatin1(ScaledText(v, NumDecimals)));
        refusal =
            QString::asprintf(OutOfRange, NumberText(NumMin).constData(), NumberText(NumMax).constData());
    }
    Reporter->Error(refusal);
    EdtNum->setFocus();
    return false;
}

void TSettingsTab::BtnNumOKClick()
{
    if (Editing && pgcConfig->currentWidget() == pgNum)
        ApplyNumber();
}

void TSettingsTab::btnStringOKClick()
{
    if (!Editing || pgcConfig->currentWidget() != pgString)
        return;
    // A text longer than the item takes is refused, not cut: the instrument would keep a part of it.
    const QByteArray text = EdtString->text().toLatin1();
    const QString refusal =
        TextLengthRefusal(QString::fromLatin1(Editing->Data->Name.trimmed()), EscapedLength(text), StringMax);
    if (!refusal.isEmpty()) {
        Reporter->Error(refusal);
        EdtString->setFocus();
        return;
    }
    Apply(text);
}

void TSettingsTab::BtnStringTestClick()
{
    MemoStringTest->clear();
    pgcConfig->setCurrentWidget(pgStringTest);
    Engine->SetReplyRoute(RouteStringTest);
    Engine->Transact(CmdWrite, 0x004D, EdtString->text().toLatin1(), false, false);
}

void TSettingsTab::BtnStringTestOkClick()
{
    pgcConfig->setCurrentWidget(pgString);
    Engine->SetReplyRoute(RouteNone);
}

void TSettingsTab::AddStringTestText(const QByteArray &text)
{
    // A line may come in pieces: the text goes on where the last piece ended.
    QByteArray shown;
    for (char c : text) {
        const auto ch = static_cast<unsigned char>(c);
        if (ch == '\n')
            shown += '\n';
        else if (ch != '\r')
            shown += ControlCharText(ch, true);
    }
    MemoStringTest->moveCursor(QTextCursor::End);
    MemoStringTest->insertPlainText(QString::fromLatin1(shown));
    MemoStringTest->moveCursor(QTextCursor::End);
}

void TSettingsTab::CbxOptionsChg(int index)
{
    if (Filling || !Editing || index < 0)
        return;
    TMainControlsGuard lock(this);
    const quint64 generation = Model->Generation();
    {
        TRegisterKeeper keep(*Device);
        Device->SetRegisterText(Editing->Data->Register);
        Device->SetMenu(Editing->Data->MenuKey);
        Device->ReadMinimum();
    }
    if (TreeReplacedSince(generation))
        return;
    const int first = Device->ReplyFailed() ? 0 : Device->ReplyHex();
    Apply(HexText(static_cast<uint32_t>(index + first), 4));
}

void TSettingsTab::BtnIpEditClick()
{
    if (!Editing || pgcConfig->currentWidget() != TSIpEditor)
        return;
    // The text as it stands: an address that is no address is refused, never the old one written.
    const TValueRead<uint32_t> address = ReadIpAddress(EditIpReg->text());
    if (!address) {
        Reporter->Error(address.Refusal);
        EditIpReg->setFocus();
        return;
    }
    EditIpReg->SetIpAddressInt(*address);
    Apply(HexText(*address, 8));
}

// --- the pop-up menu and the save block ---------------------------------------------------

void TSettingsTab::ReportMenuLimit()
{
    // Said once per tree: the limit keeps the menus from being read further until a new session.
    const QString text = Device ? Device->MenuLimitText : QString();
    if (text.isEmpty() || MenuLimitSaidAt == Model->Generation() || !Model->Root())
        return;
    MenuLimitSaidAt = Model->Generation();
    if (Reporter)
        Reporter->Error(text);
}

void TSettingsTab::tvMenupopupExpandClick()
{
    const QModelIndex at = tvMenuItems->currentIndex();
    if (!at.isValid())
        return;
    TMainControlsGuard lock(this);
    TBusyGuard busy(Reporter);
    TMenuNode *node = Model->NodeAt(at);
    if (Model->ExpandAll(node))
        tvMenuItems->expandRecursively(Model->IndexOf(node));
    ReportMenuLimit();
}

void TSettingsTab::tvMenuPopupRefreshClick()
{
    TMenuNode *node = Selected();
    if (!node || node->Children.empty())
        return;
    TMainControlsGuard lock(this);
    TBusyGuard busy(Reporter);
    if (Model->ReloadChildren(node, true))
        tvMenuItems->expand(Model->IndexOf(node));
}

void TSettingsTab::btnBlockSaveSettingsClick()
{
    btnBlockSaveSettings->setEnabled(false);
    btnSaveSettings->setEnabled(true);
    Session->BlockSave();
}

void TSettingsTab::btnSaveSettingsClick()
{
    btnBlockSaveSettings->setEnabled(true);
    btnSaveSettings->setEnabled(false);
    Session->AllowSave();
}

void TSettingsTab::ShowSaveBlockButtons(bool visible)
{
    btnBlockSaveSettings->setVisible(visible);
    btnSaveSettings->setVisible(visible);
}
