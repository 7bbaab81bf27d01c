// Helpers of the widget tests (see gui_support.h).
#include "gui_support.h"

#include "link/comms.h"

#include <QFile>

TProgramFolder::TProgramFolder(const QByteArray &ini, bool picture, const QByteArray &lang)
{
    if (!ini.isNull())
        Write("brellin.ini", ini);
    if (picture)
        Write("panel.jpg", "not decoded by the window itself");
    if (!lang.isNull())
        Write("brellin.lang", lang);
}

void TProgramFolder::Write(const QString &name, const QByteArray &text) const
{
    QFile f(Dir.filePath(name));
    if (f.open(QIODevice::WriteOnly))
        f.write(text);
}

TScriptedInstrument::TScriptedInstrument(TFakeLink *link) : Link(link)
{
    link->Responder = [this](const QByteArray &frame) {
        Tcommsobj request;
        if (!request.Decode(FrameText(frame)))
            return;
        ++Requests;
        if (!Registers.contains(request.Register))
            return;
        Tcommsobj reply = request;
        reply.RequestFlag = false;
        reply.Data = Registers.value(request.Register);
        Link->Deliver(CrcFrame(reply.Encode()));
    };
}
