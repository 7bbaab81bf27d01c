// The settings preview dialog.
#include "settings/ui/SendSettings.h"

#include "settings/SendSettings.h"

#include <QCheckBox>
#include <QHBoxLayout>
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
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tvSettings, 1);
    layout->addLayout(buttons);
    resize(420, 480);
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
