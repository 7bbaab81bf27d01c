// The last-visit settings file of an instrument.
#include "lastvisit.h"

#include <QFile>
#include <QSaveFile>

QString LastVisitPath(const QString &journalFolder)
{
    return journalFolder + QLatin1Char('/') + QLatin1String(LastVisitFileName);
}

bool KeepLastVisit(const QString &settingsFile, const QString &journalFolder, QString *error)
{
    QFile in(settingsFile);
    if (!in.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(settingsFile, in.errorString());
        return false;
    }
    const QByteArray text = in.readAll();
    QSaveFile out(LastVisitPath(journalFolder));
    if (in.error() != QFileDevice::NoError || !out.open(QIODevice::WriteOnly) ||
        out.write(text) != text.size() || !out.commit()) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(out.fileName(), out.errorString());
        return false;
    }
    return true;
}
