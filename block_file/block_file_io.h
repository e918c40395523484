#pragma once
// Block files on disk: the whole file is read before anything is parsed, and a
// save goes through a temporary file, so a failure never leaves a half-read
// block or a half-written file. Errors come back as text for a message box.

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
BlockFileRead ReadBlockFile(const QString& path);

/// Writes both blocks, replacing the file only once every byte is on disk.
/// Returns an empty string on success, otherwise what went wrong.
QString WriteBlockFile(const QString& path, const Block& space, const Block& freq);

} // namespace quadrel
