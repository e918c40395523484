#pragma once
// Block files on disk: the whole file is read before anything is parsed, and a
// save goes through a temporary file, so a failure never leaves a half-read
// block or a half-written file. Errors come back as text for a message box.
// Only ordinary files are read or written: a pipe, a device or a folder is
// refused at once, never waited on and never replaced.

#include "engine/dct_engine.h"

#include <QString>

#include <vector>

namespace quadrel {

/// How much of a file is read at most. A block file is 17 short lines; a file
/// whose first 64 values do not fit in this is not one.
inline constexpr qint64 kMaxBlockFileBytes = qint64{1} << 20;

struct BlockFileRead {
    std::vector<double> Values; ///< up to 64 values, in file order
    QString Error;              ///< empty when the file was read and parsed
    bool Ok() const { return Error.isEmpty(); }
};

/// Reads the file's start and parses it; on failure Values is empty and Error says why.
/// A name that leads to anything but an ordinary file is refused without waiting.
BlockFileRead ReadBlockFile(const QString& path);

/// Writes both blocks, replacing the file only once every byte is on disk; a
/// symlink is followed and stays a link. A file with other hard links, or in a
/// folder we may not write to, is written in place instead: the room is
/// reserved first, so a full disk or a size limit leaves it as it was, and only
/// an I/O error part-way can leave it incomplete (the message then says so).
/// Returns an empty string on success, otherwise what went wrong.
QString WriteBlockFile(const QString& path, const Block& space, const Block& freq);

} // namespace quadrel
