// TfrmAbout (see about.h).
#include "shell/ui/about.h"

#include "base/dmViewer.h"
#include "i18n/ui/LumsLangComp.h"

#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QVBoxLayout>

TfrmAbout::TfrmAbout(const TdatViewer &config, TLumsLanguageComp *language, QWidget *parent)
    : QDialog(parent), Language(language)
{
    setObjectName("frmAbout");
    setWindowTitle(LangText("TfrmAbout", "Caption", "About %1").arg(config.GetViewerName()));
    auto *layout = new QVBoxLayout(this);
    auto label = [&](const char *name, const QString &text) {
        auto *l = new QLabel(text, this);
        l->setObjectName(name);
        l->setAlignment(Qt::AlignHCenter);
        l->installEventFilter(this);
        layout->addWidget(l);
        return l;
    };
    imgLogo = label("imgLogo", QString());
    const QString logo = config.GetLogo();
    QPixmap picture;
    if (!logo.isEmpty() && QFileInfo(logo).isFile() && picture.load(logo))
        imgLogo->setPixmap(picture);
    else
        imgLogo->hide();
    lblName = label("lblName", config.GetViewerName());
    QFont big = lblName->font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    lblName->setFont(big);
    lblVersion = label("lblVersion", VersionText);
    for (int i = 0; i < 6; ++i) {
        const QByteArray name = "lblComment" + QByteArray::number(i + 1);
        lblComment[i] = label(name.constData(), config.GetComment(i + 1));
    }
    lblCopyright = label("lblCopyright", config.GetCopyright());
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TfrmAbout::showEvent(QShowEvent *event)
{
    if (Language)
        Language->ApplyLanguage(this);
    QDialog::showEvent(event);
}

void TfrmAbout::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    accept();
}

bool TfrmAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        accept();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
