// Settings files (*.WSD): the readable copy of the settings tree mixed with the write requests that
// restore it, written from the tree and read back into a preview tree and the request lines.
#pragma once

#include "device.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Appends the file lines of the tree: titles with their depth, the calibration block after the
// root title (when there is one), product lines and value writes.
void BuildSettingsFile(const TMenuTree &tree, const QByteArray &calBlock, QList<QByteArray> &lines);
// The bytes of a file: every line ended by CR LF.
QByteArray SettingsFileText(const QList<QByteArray> &lines);
// The lines of a file's bytes: split at LF, a CR before it dropped; no line for a final LF.
QList<QByteArray> SettingsFileLines(const QByteArray &text);
// A name without extension gets ".WSD"; one with an extension keeps it.
QString SettingsFileName(const QString &name);
// Write (replacing any old file, written in one piece) and read; false with a message on failure.
bool WriteSettingsFile(const QString &path, const QList<QByteArray> &lines, QString *error);
bool ReadSettingsFile(const QString &path, QList<QByteArray> &lines, QString *error);

// Checks a settings file's lines, before anything is sent, against what a settings save writes:
// titles ("1: SAFE SETUP", each at most one level deeper than the one before), after the first
// title the calibration line, after the product menu's title its reset, after a product's title
// the line that names it, after an item's title one write of its value. Any other line (an
// execute such as a reset, a write to a command register, control characters, a second request
// under one title) is refused with its line number (from 1). False with the reason in *error;
// *notSettings is set when the file is no settings file at all (its first line is no menu title,
// or it holds no request line).
bool CheckSettingsFile(const QList<QByteArray> &lines, QString *error, bool *notSettings = nullptr);

// A readable (title) line has its first ":" within its first 3 characters, or none at all.
bool IsReadableLine(const QByteArray &line);
// Builds the preview tree from the readable lines and removes them from the list, leaving the
// request lines in their order. Lines that jump by more than one level hang below the node added
// last; titles are never lost and never left among the requests.
TMenuTree PreviewSettings(QList<QByteArray> &lines);
// The calibration checkbox is offered when the first request line is the calibration block.
bool HasCalibrationLine(const QList<QByteArray> &requests);
bool HasProductReset(const QList<QByteArray> &requests);
// The request lines in the order they are sent. The lines of the current-product menu stand
// between the products' reset and the lines that re-create the products, each of which selects
// its product; sent there, the active product (0xB010) would be chosen among the products the
// instrument held and then lost to the last product re-created. They go last instead. Files
// without a products' reset keep their order.
QList<QByteArray> OrderForSend(const QList<QByteArray> &requests);
