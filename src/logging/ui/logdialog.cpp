// The logging dialog (see logdialog.h).
#include "logging/ui/logdialog.h"

#include "i18n/LumsLang.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QVBoxLayout>

TFrmLogDialog::TFrmLogDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FrmLogDialog"));
    setWindowTitle(QStringLiteral("Logging"));
    // Fixed size, no title-bar buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    auto *form = new QFormLayout;
    CBLogRate = new QComboBox(this);
    CBLogRate->setObjectName(QStringLiteral("CBLogRate"));
    CBLogRate->addItems({QStringLiteral("10 Hz"), QStringLiteral("1 Hz"),
                         LangText("TFrmLogDialog", "RateTenth", QStringLiteral("1/10 secs"))});
    // The labels are named, so that the language file reaches them.
    auto label = [this](const QString &name, const QString &text) {
        auto *l = new QLabel(text, this);
        l->setObjectName(name);
        return l;
    };
    form->addRow(label(QStringLiteral("LblRate"), QStringLiteral("Sample Rate")), CBLogRate);
    QStringList channels;
    for (int i = 0; i < LogChannelCount; ++i)
        channels << QString::fromLatin1(LogChannelName(i));
    for (int n = 0; n < 4; ++n) {
        CBxDig[n] = new QComboBox(this);
        CBxDig[n]->setObjectName(QStringLiteral("CBxDig%1").arg(n + 1));
        CBxDig[n]->addItems(channels);
        CBxDig[n]->setMaxVisibleItems(12);
        form->addRow(
            label(QStringLiteral("LblDigital%1").arg(n + 1), QStringLiteral("Digital %1").arg(n + 1)),
            CBxDig[n]);
    }
    auto *buttons = new QDialogButtonBox(this);
    BtnOk = buttons->addButton(QStringLiteral("Ok"), QDialogButtonBox::AcceptRole);
    BtnOk->setObjectName(QStringLiteral("BtnOk"));
    BtnOk->setDefault(true);
    BtnCancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

TLogChoices TFrmLogDialog::Choices() const
{
    TLogChoices c;
    c.RateIndex = CBLogRate->currentIndex();
    for (int n = 0; n < 4; ++n)
        c.Channels[static_cast<size_t>(n)] = std::max(0, CBxDig[n]->currentIndex());
    return c;
}

void TFrmLogDialog::Preset(double interval, const std::array<int, 4> &channels)
{
    CBLogRate->setCurrentIndex(LogRateOfInterval(interval));
    for (int n = 0; n < 4; ++n)
        CBxDig[n]->setCurrentIndex(channels[static_cast<size_t>(n)]);
}
