// The window's changes in the instrument's journal against the simulated instrument: a settings
// tree edit and a product added, renamed or deleted each leave exactly one line with the menu path,
// the instrument's value before, the value asked and the value read back, also when replies are lost.
#include "datastore/storelayout.h"
#include "gui_support.h"
#include "journal/journal.h"
#include "settings/settingssave.h"
#include "settings/settingstree.h"
#include "settings/ui/NewProductDLG.h"
#include "settings/ui/productpage.h"
#include "settings/ui/settingstab.h"
#include "settings/ui/settingsui.h"
#include "values/tools.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>

namespace
{

class JournalEditTest : public SimWindowTest
{
protected:
    JournalEditTest() : SimWindowTest(ReadAllIni) { ReadEntire = true; }

    void SetUp() override
    {
        MakeSimWithOwnJournal();
        OpenWindow();
        Ui = W->findChild<TSettingsUi *>();
        ASSERT_TRUE(Ui);
        ConnectTo(*Sim);
        ASSERT_TRUE(PumpUntil([&] { return W->StartSession->isEnabled() && W->ChangeJournal(); }));
        StartSession(0, "1234");
    }

    // The events but the sessions', oldest first.
    QList<TJournalEvent> Changes() const
    {
        QList<TJournalLine> lines;
        QString error;
        ReadJournalFile(W->ChangeJournal()->FilePath(), lines, &error);
        QList<TJournalEvent> events = JournalEvents(lines);
        events.removeIf([](const TJournalEvent &e) { return e.Line.Kind == "session"; });
        return events;
    }
    TMenuNode *Find(TMenuNode *node, const QByteArray &reg, const QByteArray &under)
    {
        if (!node)
            return nullptr;
        if (node->Data && node->Data->Register == reg &&
            (under.isEmpty() || (node->Parent && node->Parent->Data && node->Parent->Data->Name == under)))
            return node;
        for (auto &child : node->Children)
            if (TMenuNode *found = Find(child.get(), reg, under))
                return found;
        return nullptr;
    }
    TMenuNode *Find(const QByteArray &reg, const QByteArray &under = {})
    {
        return Find(Ui->Model->Root(), reg, under);
    }
    // The instrument's own products, as the journal writes a list of them.
    QByteArray SimProducts()
    {
        QList<QByteArray> names;
        for (const auto &p : Sim->Instrument().Products)
            names << p.Name;
        return names.join(", ");
    }
    void Faults(int reg, int times)
    {
        TVornSimConfig faults;
        faults.DropOnRegister = reg;
        faults.DropOnTimes = times;
        Sim->SetFaults(faults);
    }

    TSettingsUi *Ui = nullptr;
};

} // namespace

TEST_F(JournalEditTest, ATreeEditIsOneLineWithTheInstrumentsValuesAlsoWhenItsRepliesAreLost)
{
    const struct {
        const char *Name;
        QByteArray Register, Under; // the item, and the menu it is in ("": the first found)
        const char *Typed;
        int Raw;               // what the instrument takes for it
        int DropOn, DropTimes; // its register's replies lost the first so many times (-1: none)
        QByteArray Path;
        QString Outcome; // the event's outcome starts with this
        QString Note;    // part of the event's note
    } cases[] = {
        {"an edit", "1206", "", "0.25", 25, -1, 0, "SAFE SETUP > OPTIONS > MOTION", "confirmed", ""},
        // the write and its one repeat unanswered: the value read back is the one asked for
        {"an edit whose replies are lost", "1206", "", "0.75", 75, 0x1206, 2, "SAFE SETUP > OPTIONS > MOTION",
         "confirmed", "no reply; the value read back is the one asked for"},
        // nothing on the register answered: the instrument took it, but nothing shows that
        {"an edit nothing answers", "1206", "", "1.00", 100, 0x1206, 1000, "SAFE SETUP > OPTIONS > MOTION",
         "not confirmed: no reply, and the value could not be read back", ""},
        // a product's value goes to that product, and is read back from it
        {"a product's value", "B020", "PEARS", "12.50", 1250, -1, 0, "SAFE SETUP > PRODUCTS > PEARS > TARGET",
         "confirmed", ""},
    };
    auto truth = [this](const QByteArray &reg) {
        return reg == "B020" ? Sim->Instrument().Products[1].Target
                             : Sim->Instrument().Model().Find(int(HexToInt(reg)))->Value;
    };
    TSettingsTab *tab = Ui->Tab;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        TMenuNode *node = Find(c.Register, c.Under);
        ASSERT_TRUE(node);
        tab->Select(node);
        ASSERT_EQ(tab->pgcConfig->currentWidget(), tab->pgNum);
        const int64_t before = truth(c.Register);
        const qsizetype events = Changes().size();
        Faults(c.DropOn, c.DropTimes);
        tab->EdtNum->setText(c.Typed);
        tab->btnNumOK->click();
        Faults(-1, 0);
        EXPECT_EQ(truth(c.Register), c.Raw);
        const QList<TJournalEvent> now = Changes();
        ASSERT_EQ(now.size(), events + 1) << "exactly one line for the edit";
        const TJournalLine &l = now.last().Line;
        EXPECT_EQ(l.Kind, "write");
        EXPECT_EQ(l.Path, c.Path);
        EXPECT_EQ(l.Register, int(HexToInt(c.Register)));
        EXPECT_EQ(l.Serial, JournalSerial);
        EXPECT_EQ(HexToInt(l.Before), before) << l.Before.constData();
        EXPECT_EQ(HexToInt(l.Asked), c.Raw) << l.Asked.constData();
        if (c.Outcome.startsWith("confirmed"))
            EXPECT_EQ(HexToInt(l.ReadBack), truth(c.Register)) << l.ReadBack.constData();
        else
            EXPECT_TRUE(l.ReadBack.isEmpty()) << l.ReadBack.constData();
        EXPECT_TRUE(now.last().Outcome.startsWith(c.Outcome)) << now.last().Outcome.toStdString();
        EXPECT_TRUE(l.Note.contains(c.Note)) << l.Note.toStdString();
    }
    QString error;
    EXPECT_TRUE(VerifyJournal(W->ChangeJournal()->FilePath(), &error).Intact()) << error.toStdString();
}

TEST_F(JournalEditTest, AProductAddedRenamedOrDeletedIsOneLineWithTheProductsBeforeAndAfter)
{
    enum TWhat { Add, Rename, Delete };
    const struct {
        const char *Name;
        TWhat What;
        QByteArray Product, Typed; // the product chosen (for a rename or delete), the name typed
        int DropOn;                // the function's reply lost once (-1: none)
        int Register;
        QByteArray Before, Asked, ReadBack;
        QString Note; // part of the event's note
    } cases[] = {
        {"add", Add, "", "KIWI", -1, 0xB001, "APPLES, PEARS, PLUMS", "KIWI", "APPLES, PEARS, PLUMS, KIWI",
         ""},
        // sent once: the products read back show it added
        {"add, its reply lost", Add, "", "MANGO", 0xB001, 0xB001, "APPLES, PEARS, PLUMS, KIWI", "MANGO",
         "APPLES, PEARS, PLUMS, KIWI, MANGO", "no reply; the products read back show it done"},
        {"rename", Rename, "KIWI", "LIME", -1, 0xB012, "KIWI", "LIME", "LIME", ""},
        {"delete", Delete, "PEARS", "", -1, 0xB011, "APPLES, PEARS, PLUMS, LIME, MANGO", "PEARS",
         "APPLES, PLUMS, LIME, MANGO", "totals cleared"},
    };
    TSettingsTab *tab = Ui->Tab;
    QByteArray typed;
    OnDialog = [&](QDialog *dialog) {
        if (auto *names = qobject_cast<TFrmNewProduct *>(dialog))
            names->EdtName->setText(QString::fromLatin1(typed));
        return int(QDialog::Accepted);
    };
    Reporter.Answer = true; // the delete's question
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        TMenuNode *menu = Find("B100");
        ASSERT_TRUE(menu);
        TMenuNode *chosen = menu;
        for (auto &child : menu->Children)
            if (!c.Product.isEmpty() && child->Text == c.Product)
                chosen = child.get();
        ASSERT_TRUE(c.Product.isEmpty() || chosen != menu);
        tab->Select(chosen);
        ASSERT_EQ(tab->pgcConfig->currentWidget(), tab->PgProd);
        const QByteArray path = MenuPathOf(*chosen);
        const qsizetype events = Changes().size();
        typed = c.Typed;
        Faults(c.DropOn, 1);
        (c.What == Add      ? tab->PgProd->BtnAddProduct
         : c.What == Rename ? tab->PgProd->BtnEditProduct
                            : tab->PgProd->BtnDeleteProduct)
            ->click();
        Faults(-1, 0);
        // the list read back is the instrument's own; a rename reads back the one name
        EXPECT_EQ(c.What == Rename ? Sim->Instrument().Products[3].Name : SimProducts(), c.ReadBack);
        const QList<TJournalEvent> now = Changes();
        ASSERT_EQ(now.size(), events + 1) << "exactly one line for the product function";
        const TJournalLine &l = now.last().Line;
        EXPECT_EQ(l.Kind, "product");
        EXPECT_EQ(l.Register, c.Register);
        EXPECT_EQ(l.Path, path);
        EXPECT_EQ(l.Before, c.Before);
        EXPECT_EQ(l.Asked, c.Asked);
        EXPECT_EQ(l.ReadBack, c.ReadBack);
        EXPECT_TRUE(now.last().Outcome.startsWith("confirmed")) << now.last().Outcome.toStdString();
        EXPECT_TRUE(l.Note.contains(c.Note)) << l.Note.toStdString();
    }
    QString error;
    EXPECT_TRUE(VerifyJournal(W->ChangeJournal()->FilePath(), &error).Intact()) << error.toStdString();
}
