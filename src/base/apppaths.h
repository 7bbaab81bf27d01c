// Where the programs keep what they write: beside the program when its folder is writable (a build
// folder or a copy the user owns), else in the user's own folders (an installed program).
#pragma once

#include <QString>

namespace AppPaths
{

enum class UserFolder { Config, Cache, Data };

// The folder the running program lies in.
QString ProgramDir();
// The folder exists and this user can write in it.
bool Writable(const QString &dir);
// The user's folder of that kind shared by brellin and brellin-cli (~/.config/brellin,
// ~/.cache/brellin, ~/.local/share/brellin by default).
QString UserDir(UserFolder kind);
// programDir (the program's own folder when empty) when it is writable, else UserDir(kind),
// created when missing.
QString WritableDir(UserFolder kind, const QString &programDir = QString());

} // namespace AppPaths
