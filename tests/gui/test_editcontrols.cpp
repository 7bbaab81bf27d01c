// TNumEdit and TEditIp: key filters, range checks and colours, and who may take the focus from an
// invalid entry.
#include "fake_link.h"
#include "settings/ui/EditIp.h"
#include "settings/ui/NumEdit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

namespace
{

QColor TextColour(const QLineEdit &e)
{
    return e.palette().color(QPalette::Text);
}

// A shown, active window with the control under test, a plain button and a Cancel-tagged button.
struct TForm {
    TForm()
    {
        auto *layout = new QVBoxLayout(&Window);
        Num = new TNumEdit(&Window);
        Ip = new TEditIp(&Window);
        Other = new QPushButton("Other", &Window);
        Cancel = new QPushButton("Cancel", &Window);
        Cancel->setProperty(TNumEdit::TagProperty, 1234567890);
        for (QWidget *w : {static_cast<QWidget *>(Num), static_cast<QWidget *>(Ip),
                           static_cast<QWidget *>(Other), static_cast<QWidget *>(Cancel)})
            layout->addWidget(w);
        Window.show();
        QApplication::setActiveWindow(&Window);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&Window));
    }
    QWidget Window;
    TNumEdit *Num;
    TEditIp *Ip;
    QPushButton *Other;
    QPushButton *Cancel;
};

// Sets a text the way typing does after the form filled the field (the first change is the fill).
void Enter(TNumEdit *e, const QString &text)
{
    e->setText("fill");
    e->setText(text);
}

TEST(TNumEditTest, FloatRangeColoursTheTextAndAcceptsExponents)
{
    TNumEdit e;
    e.SeteditType(dtFloat);
    e.MinReal = 0.5;
    e.MaxReal = 20;
    QSignalSpy errors(&e, &TNumEdit::DataError);
    Enter(&e, "20");
    EXPECT_TRUE(e.DataOK());
    EXPECT_EQ(TextColour(e), QColor(Qt::black));
    for (const char *bad : {"20.5", "0.4", "1,5", "", "abc", "inf", " 3"}) {
        e.setText(bad);
        EXPECT_FALSE(e.DataOK()) << bad;
        EXPECT_EQ(TextColour(e), QColor(Qt::red)) << bad;
    }
    EXPECT_EQ(errors.count(), 7);
    e.setText("1e1");
    EXPECT_TRUE(e.DataOK());
    EXPECT_DOUBLE_EQ(e.AsFloat(), 10.0);
    e.setText("x");
    EXPECT_DOUBLE_EQ(e.AsFloat(), 0.5); // not a number: MinReal
}

TEST(TNumEditTest, ExclusiveBoundsAndTheUncheckedFirstChange)
{
    TNumEdit e;
    e.Max = 10;
    e.MaxInclusive = false;
    QSignalSpy changes(&e, &TNumEdit::Changed);
    e.setText("10"); // the form filling the field: neither checked nor passed on
    EXPECT_TRUE(e.DataOK());
    EXPECT_EQ(changes.count(), 0);
    e.setText("10");
    e.setText("100");
    EXPECT_FALSE(e.DataOK());
    e.setText("9");
    EXPECT_TRUE(e.DataOK());
    EXPECT_EQ(changes.count(), 2);
    e.MinInclusive = false;
    e.setText("0");
    EXPECT_FALSE(e.DataOK());
    e.setText("-2147483649"); // beyond 32 bits does not convert
    EXPECT_FALSE(e.DataOK());
}

TEST(TNumEditTest, TextTypesCheckTheLengthAndChangingTheTypeRechecks)
{
    TNumEdit e;
    e.Min = 2;
    e.Max = 4;
    Enter(&e, "abcde"); // not a number
    EXPECT_FALSE(e.DataOK());
    e.SeteditType(dtString);
    EXPECT_FALSE(e.DataOK()); // five characters
    e.setText("abc");
    EXPECT_TRUE(e.DataOK());
    e.setText("a");
    EXPECT_FALSE(e.DataOK());
}

TEST(TNumEditTest, KeyFiltersDropWhatTheTypeDoesNotTake)
{
    TNumEdit e;
    e.SeteditType(dtFilename);
    QTest::keyClicks(&e, "a:b?c. d*\"<>|/\\e");
    EXPECT_EQ(e.text(), "abc. de");
    e.clear();
    e.SeteditType(dtInteger);
    QTest::keyClicks(&e, "-12a.5e");
    EXPECT_EQ(e.text(), "-125");
    QTest::keyClick(&e, Qt::Key_Backspace);
    EXPECT_EQ(e.text(), "-12");
    e.clear();
    e.SeteditType(dtFloat);
    QTest::keyClicks(&e, "+1.5e-3x,");
    EXPECT_EQ(e.text(), "+1.5e-3");
    EXPECT_TRUE(TNumEdit::KeyPasses(dtPrintable, QChar(0xE9)));
    EXPECT_FALSE(TNumEdit::KeyPasses(dtPrintable, QChar(0x7F)));
    EXPECT_FALSE(TNumEdit::KeyPasses(dtPrintable, QChar(0x263A)));
    EXPECT_TRUE(TNumEdit::KeyPasses(dtString, QChar(0x7F)));
}

TEST(TNumEditTest, EnterIsReportedEvenWhenTheFilterDropsIt)
{
    TNumEdit e;
    QSignalSpy enter(&e, &TNumEdit::EnterKeyPress);
    QList<QChar> seen;
    e.OnKeyPress = [&](TNumEdit *, QChar &key) {
        seen << key;
        if (key == QChar('7'))
            key = QChar(); // the owner may drop a key too
    };
    QTest::keyClicks(&e, "172");
    QTest::keyClick(&e, Qt::Key_Return);
    EXPECT_EQ(e.text(), "12");
    EXPECT_EQ(enter.count(), 1);
    EXPECT_EQ(seen.size(), 3); // the dropped Enter is not passed on
}

TEST(TNumEditTest, AnInvalidEntryKeepsTheFocusExceptFromACancelButton)
{
    TForm form;
    form.Num->Max = 10;
    Enter(form.Num, "11");
    QSignalSpy exitErrors(form.Num, &TNumEdit::ExitError);
    form.Num->setFocus();
    EXPECT_EVENTUALLY(form.Num->hasFocus());
    form.Other->setFocus();
    EXPECT_EVENTUALLY(form.Num->hasFocus());
    EXPECT_EQ(exitErrors.count(), 1);

    form.Cancel->setFocus();
    QTest::qWait(20);
    EXPECT_TRUE(form.Cancel->hasFocus());
    EXPECT_EQ(exitErrors.count(), 1);

    // A valid entry lets the focus go, and says so.
    QSignalSpy exits(form.Num, &TNumEdit::Exited);
    form.Num->setFocus();
    EXPECT_EVENTUALLY(form.Num->hasFocus());
    form.Num->setText("5");
    form.Other->setFocus();
    QTest::qWait(20);
    EXPECT_TRUE(form.Other->hasFocus());
    EXPECT_EQ(exits.count(), 1);
}

TEST(TEditIpTest, AddressesConvertMostSignificantOctetFirst)
{
    TEditIp ip;
    EXPECT_EQ(ip.text(), "0.0.0.0");
    ASSERT_TRUE(ip.SetIpAddressStr("10.0.0.1"));
    EXPECT_EQ(ip.IpAddressInt(), 0x0A000001u);
    ip.SetIpAddressInt(0xFFFFFFFFu);
    EXPECT_EQ(ip.text(), "255.255.255.255");
    EXPECT_EQ(ip.IpAddressStr(), "255.255.255.255");
    QString why;
    EXPECT_FALSE(ip.SetIpAddressStr("10.0.0.300", &why));
    EXPECT_EQ(why, "IP Address Octet larger than 255");
    EXPECT_FALSE(ip.SetIpAddressStr("10.0.0", &why)); // the fourth octet is empty
    EXPECT_FALSE(ip.SetIpAddressStr("10.0.-1.0", &why));
    EXPECT_EQ(ip.IpAddressInt(), 0xFFFFFFFFu);
    quint32 v = 0;
    // Text after the fourth octet makes it no address (it was once ignored, and the address cut).
    EXPECT_FALSE(TEditIp::IpTextToInt("192.168.1.2.junk", &v, &why));
    EXPECT_TRUE(why.startsWith("\"192.168.1.2.junk\" is not an IP address")) << why.toStdString();
    EXPECT_FALSE(TEditIp::IpTextToInt("192.168.1.2x", &v));
    EXPECT_TRUE(TEditIp::IpTextToInt("192.168.1.2", &v));
    EXPECT_EQ(v, 0xC0A80102u);
}

TEST(TEditIpTest, LeavingNormalisesOrKeepsTheValueAndTheFocus)
{
    TForm form;
    form.Ip->SetIpAddressInt(0x0A000001u);
    form.Ip->setFocus();
    EXPECT_EVENTUALLY(form.Ip->hasFocus());
    form.Ip->setText("010.1.002.3");
    form.Other->setFocus();
    QTest::qWait(20);
    EXPECT_EQ(form.Ip->text(), "10.1.2.3");
    EXPECT_EQ(form.Ip->IpAddressInt(), 0x0A010203u);

    for (const char *bad : {"10.0.0", "10.0.0.300"}) {
        form.Ip->setFocus();
        EXPECT_EVENTUALLY(form.Ip->hasFocus());
        form.Ip->setText(bad);
        form.Other->setFocus();
        EXPECT_EVENTUALLY(form.Ip->hasFocus());
        EXPECT_EQ(form.Ip->IpAddressInt(), 0x0A010203u) << bad;
    }
}

} // namespace
