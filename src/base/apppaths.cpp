// Where the programs keep what they write (see apppaths.h).
#include "base/apppaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace AppPaths
{

QString ProgramDir()
{
    return QCoreApplication::applicationDirPath();
}

bool Writable(const QString &dir)
{
    const QFileInfo info(dir);
    return info.isDir() && info.isWritable();
}

QString UserDir(UserFolder kind)
{
    QStandardPaths::StandardLocation location = QStandardPaths::GenericDataLocation;
    if (kind == UserFolder::Config)
        location = QStandardPaths::GenericConfigLocation;
    else if (kind == UserFolder::Cache)
        location = QStandardPaths::GenericCacheLocation;
    return QStandardPaths::writableLocation(location) + QStringLiteral("/brellin");
}

QString WritableDir(UserFolder kind, const QString &programDir)
{
    const QString dir = programDir.isEmpty() ? ProgramDir() : programDir;
    if (Writable(dir))
        return dir;
    const QString user = UserDir(kind);
    QDir().mkpath(user);
    return user;
}

} // namespace AppPaths
