#pragma once

// The one place where text crosses between Unicode (what Qt's widgets hold) and CP932 bytes (what plan
// files, file names and the inputs' byte strings hold). CP932 is Microsoft's Shift_JIS.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace Cp932 {

// Bytes that are not valid CP932 become U+FFFD, one per invalid byte or unassigned pair. They never become
// a control character: a SUB written back into a plan would cut it short on the next load.
QString decode(QByteArrayView bytes);

// As decode(), but nullopt when any byte sequence is not valid CP932.
std::optional<QString> decodeStrict(QByteArrayView bytes);

// nullopt when the text holds a character that CP932 cannot represent exactly (an emoji, é, U+FFFD):
// such text is refused rather than stored with a substitute.
std::optional<QByteArray> encode(QStringView text);

// For texts that must always give bytes, such as what the user typed into an input: each character CP932
// lacks becomes the byte 0xFF, which is never valid CP932, so a file name made from it is refused rather
// than pointing at some other file.
QByteArray encodeMarkingInvalid(QStringView text);

} // namespace Cp932
