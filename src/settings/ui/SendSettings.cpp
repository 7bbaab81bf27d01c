// The settings preview dialog.
#include "settings/ui/SendSettings.h"

#include "i18n/LumsLang.h"
#include "settings/SendSettings.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace
{

void AddNodes(QTreeWidgetItem *parent, const TMenuNode &node)
{
    auto *item = new QTreeWidgetItem(parent, {QString::fromLatin1(node.Text)});
    for (const auto &child : node.Children)
        AddNodes(item, *child);
}

} // namespace

TFrmSendSettings::TFrmSendSettings(QWidget *parent) : QDialog(parent)
{
    setObjectName("FrmSendSettings");
    setWindowTitle("Settings to Send");
    tvSettings = new QTreeWidget(this);
    tvSettings->setObjectName("tvSettings");
    tvSettings->setHeaderHidden(true);
    tvSettings->setIndentation(19);
    QFont mono("Courier New");
    mono.setStyleHint(QFont::Monospace);
    mono.setPixelSize(13);
    tvSettings->setFont(mono);
    CBxCal = new QCheckBox("Include Calibration", this);
    CBxCal->setObjectName("CBxCal");
    CBxCal->setChecked(false);
    btnSend = new QPushButton("Send", this);
    btnSend->setObjectName("btnSend");
    btnSend->setDefault(true);
    btnCancel = new QPushButton("Cancel", this);
    btnCancel->setObjectName("btnCancel");
    connect(btnSend, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(CBxCal);
    buttons->addStretch();
    buttons->addWidget(btnSend);
    buttons->addWidget(btnCancel);
    LblTarget = new QLabel(this);
    LblTarget->setObjectName("LblTarget");
    LblTarget->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(LblTarget);
    layout->addWidget(tvSettings, 1);
    layout->addLayout(buttons);
    resize(420, 480);
}

void TFrmSendSettings::SetTarget(bool connected, const QByteArray &serialNumber, const QByteArray &model)
{
    btnSend->setEnabled(connected);
    if (!connected) {
        LblTarget->setText(LangText("TFrmSendSettings", "TargetNone",
                                    "No instrument is connected: connect the one to write to first."));
        return;
    }
    if (serialNumber.isEmpty()) {
        LblTarget->setText(
            LangText("TFrmSendSettings", "TargetUnknown",
                     "Send writes these settings to the connected instrument (its serial number could not be "
                     "read)."));
        return;
    }
    LblTarget->setText(LangText("TFrmSendSettings", "Target",
                                "Send writes these settings to the instrument with serial number %1%2.")
                           .arg(QString::fromLatin1(serialNumber),
                                model.isEmpty()
                                    ? QString()
                                    : QStringLiteral(" (%1)").arg(QString::fromLatin1(model.trimmed()))));
}

void TFrmSendSettings::PreviewSettings(QList<QByteArray> &lines)
{
    tvSettings->clear();
    const TMenuTree tree = ::PreviewSettings(lines);
    for (const auto &root : tree) {
        auto *item = new QTreeWidgetItem(tvSettings, {QString::fromLatin1(root->Text)});
        for (const auto &child : root->Children)
            AddNodes(item, *child);
    }
    tvSettings->expandAll();
    if (QTreeWidgetItem *root = tvSettings->topLevelItem(0))
        tvSettings->setCurrentItem(root);
    CBxCal->setVisible(HasCalibrationLine(lines));
}
