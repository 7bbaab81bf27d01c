// The settings printout as text: the tree indented three blanks a level under a header, broken
// into pages with form feeds.
#pragma once

#include "settings/device.h"

#include <QByteArray>
#include <QList>

// A line of this text that stands for a form feed.
inline const QByteArray FormFeedLine("\f");

// " V500 SN:1234567 Version V1.04 "
QByteArray SettingsPrintHeader(const QByteArray &model, const QByteArray &serial, const QByteArray &version);
// Each item of the tree as a line: three blanks per level of depth (the root is depth 1) and its
// text; children follow their parent. Placeholders of unread menus are no items and are left out.
QList<QByteArray> SettingsTreePrintLines(const TMenuTree &tree);
// The printed lines: three blank lines, the header, a blank line, the tree lines. When the header,
// blank and tree lines counted on a page reach linesPerPage and more follow, a form feed and three
// blank lines start the next page.
QList<QByteArray> SettingsPrintout(const QByteArray &header, const QList<QByteArray> &treeLines,
                                   int linesPerPage);
