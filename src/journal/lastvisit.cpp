// The last-visit settings file of an instrument.
#include "lastvisit.h"

#include "base/wholefile.h"

#include <QFile>

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
    if (in.error() != QFileDevice::NoError) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(settingsFile, in.errorString());
        return false;
    }
    // Written whole or not at all: a cut last visit would list changes nobody made.
    return WriteWholeFile(LastVisitPath(journalFolder), text, error);
}
