// The instrument's latest known settings ("last visit"), kept in its journal folder by every
// settings save (and at the end of a session in the window), to list what changed on site since.
#pragma once

#include <QString>

inline constexpr char LastVisitFileName[] = "last-visit.WSD";

QString LastVisitPath(const QString &journalFolder);
// Copies a settings file written just now as the last visit, complete or not at all; false with
// the reason (the earlier last visit is kept then).
bool KeepLastVisit(const QString &settingsFile, const QString &journalFolder, QString *error);
