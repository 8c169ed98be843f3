#pragma once

// A day's plan is one file in the current directory, named after its date (20030404.txt), holding the
// plan's lines in CP932 joined by CR LF. Every question about a day is answered by opening its file at the
// moment it is asked: there is no index and no cache.
//
// Names are CP932 byte strings, as the date inputs give them. Only a bare name is accepted: one with a
// directory part, or one the file system cannot take, is refused, so nothing outside the current
// directory is ever created, read or removed.

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QList>

#include <functional>

enum class TLoadResult { Loaded, Empty, CannotOpen };
enum class TStoreResult { Stored, CannotOpen, WriteFailed };

// Year without leading zeros, two-digit month and day, ".txt": 4 April 2003 gives 20030404.txt.
QByteArray PlanFileName(QDate date);

// The three input texts joined as they are, then ".txt"; nothing is trimmed, padded or checked.
QByteArray InputFileName(QByteArrayView yearText, QByteArrayView monthText, QByteArrayView dayText);

// True when the file exists and holds at least one byte. Never creates a file.
bool PlanHasText(QByteArrayView name);

// Reads the plan and hands each line to onLine, in order, without its line break. Reading rules: every CR
// is dropped, a SUB byte ends the content, LF ends a line, a NUL cuts its line short; a last line without
// a line break counts only when it has text. Lines of any length are delivered whole.
// Creates an empty file when none exists. A read-only file cannot be opened.
// Empty: the content held nothing but CR bytes; onLine was not called.
TLoadResult LoadPlanLines(QByteArrayView name, const std::function<void(QByteArrayView line)> &onLine);

// Convenience for callers that want the lines as a list; appends to lines.
TLoadResult LoadPlanLines(QByteArrayView name, QList<QByteArray> &lines);

// Replaces the file's content with the lines joined by CR LF (no line break after the last one).
// The new content is written to a file beside it and moved over it only once every byte is written and on
// disk, so a failed write (WriteFailed), a crash or a kill leaves the old file byte for byte as it was; what
// an interrupted save left beside it is removed by the next save of the same plan. A read-only file cannot be
// opened and is not touched; a replaced file keeps its permissions.
TStoreResult StorePlanLines(QByteArrayView name, const QList<QByteArray> &lines);

// Deletes the file. Fails when it is missing, read-only or cannot be removed.
bool RemovePlanFile(QByteArrayView name);
