// The compare window.
#include "settings/ui/comparewin.h"

#include "i18n/LumsLang.h"
#include "settings/compare.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

TFrmCompare::TFrmCompare(QWidget *parent) : QDialog(parent)
{
    setObjectName("FrmCompare");
    setWindowTitle(LangText("TFrmCompare", "Caption", "Compare with File"));
    tvDifferences = new QTreeWidget(this);
    tvDifferences->setObjectName("tvDifferences");
    tvDifferences->setHeaderLabels({LangText("TFrmCompare", "ColItem", "Item"),
                                    LangText("TFrmCompare", "ColInstrument", "Instrument"),
                                    LangText("TFrmCompare", "ColFile", "File")});
    tvDifferences->setRootIsDecorated(true);
    QFont mono("Courier New");
    mono.setStyleHint(QFont::Monospace);
    mono.setPixelSize(13);
    tvDifferences->setFont(mono);
    lblCompared = new QLabel(this);
    lblCompared->setObjectName("lblCompared");
    lblCompared->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton("Close", QDialogButtonBox::RejectRole)->setObjectName("btnClose");
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tvDifferences, 1);
    layout->addWidget(lblCompared);
    layout->addWidget(buttons);
    resize(640, 420);
}

namespace
{

// The node for a path of titles below the top, made where missing.
QTreeWidgetItem *Branch(QTreeWidget *tree, const QList<QByteArray> &path)
{
    QTreeWidgetItem *parent = nullptr;
    for (const QByteArray &title : path) {
        const QString text = QString::fromLatin1(title);
        QTreeWidgetItem *found = nullptr;
        const int count = parent ? parent->childCount() : tree->topLevelItemCount();
        for (int i = 0; i < count && !found; ++i) {
            QTreeWidgetItem *child = parent ? parent->child(i) : tree->topLevelItem(i);
            if (child->text(0) == text && child->text(1).isEmpty())
                found = child;
        }
        if (!found) {
            found = parent ? new QTreeWidgetItem(parent, {text}) : new QTreeWidgetItem(tree, {text});
        }
        parent = found;
    }
    return parent;
}

void AddLeaf(QTreeWidget *tree, const QList<QByteArray> &path, const QString &left, const QString &right)
{
    QTreeWidgetItem *parent = Branch(tree, path.mid(0, path.size() - 1));
    const QStringList columns{QString::fromLatin1(path.value(path.size() - 1)), left, right};
    auto *leaf = parent ? new QTreeWidgetItem(parent, columns) : new QTreeWidgetItem(tree, columns);
    leaf->setToolTip(1, left);
    leaf->setToolTip(2, right);
}

} // namespace

void TFrmCompare::Show(const TCompareResult &result, const QString &file)
{
    setWindowTitle(
        LangText("TFrmCompare", "CaptionFile", "Compare with File - %1").arg(QFileInfo(file).fileName()));
    tvDifferences->clear();
    for (const TSettingsDifference &d : result.Differences)
        AddLeaf(tvDifferences, d.Path, QString::fromLatin1(d.Left), QString::fromLatin1(d.Right));
    for (const auto &[path, why] : result.Unread)
        AddLeaf(tvDifferences, path, LangText("TFrmCompare", "Unread", "(could not be read: %1)").arg(why),
                QString());
    tvDifferences->expandAll();
    for (int c = 0; c < 3; ++c)
        tvDifferences->resizeColumnToContents(c);
    QString summary = QString::fromUtf8(result.Summary());
    if (result.Equal())
        summary += LangText("TFrmCompare", "Equal", ": the instrument holds the file's settings.");
    lblCompared->setText(summary);
}
