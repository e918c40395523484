#pragma once
// File names as the system has them: a string of bytes, usually but not always
// UTF-8. Qt decodes names lossily, so a name with other bytes could not be
// opened again. Here every byte that is no part of valid UTF-8 becomes a lone
// surrogate U+DC80..U+DCFF on the way in and the same byte on the way out, so
// any name survives the trip through a QString.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace quadrel {

/// A name from the system: valid UTF-8 decoded, every other byte b kept as U+DC00 + b.
QString PathFromNative(QByteArrayView bytes);

/// The bytes to hand the system for a name: the inverse of PathFromNative.
QByteArray NativePath(const QString& path);

/// The name for a message: bytes that are no UTF-8 shown as \xff.
QString ShownPath(const QString& path);

/// The command line, every argument decoded by PathFromNative.
QStringList ArgumentsFromNative(int argc, const char* const* argv);

} // namespace quadrel
