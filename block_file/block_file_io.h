#pragma once
// Block files on disk: the whole file is read before anything is parsed, and a
// save goes through the program's one writer, so a failure never leaves a
// half-read block or a half-written file. Failures come back with text for a message box.
// Only ordinary files are read or written: a pipe, a device or a folder is
// refused at once, never waited on and never replaced.

#include "base/result.h"
#include "engine/dct_engine.h"
#include "jpeg/jpeg_block.h"

#include <QString>

#include <vector>

namespace quadrel {

/// How much of a file is read at most. A block file is 17 short lines; a file
/// whose first 64 values do not fit in this is not one.
inline constexpr qint64 kMaxBlockFileBytes = qint64{1} << 20;

/// Reads the file's start and parses it: up to 64 values, in file order.
/// A name that leads to anything but an ordinary file is refused without waiting.
Result<std::vector<double>> ReadBlockFile(const QString& path);

/// Standard input by the same rules. The file reader takes ordinary files
/// only, and a pipe is what a command line usually gives.
Result<std::vector<double>> ReadStandardInput();

/// A quantisation table: 64 whole numbers 1..255 in the block-file syntax, row
/// by row, from the file `path` ("-" is standard input).
Result<jpeg::QuantTable> ReadTableFile(const QString& path);

/// Writes both blocks by the program's one writer (file_io/file_writer.h): the
/// file is replaced only once every byte is on disk, a symlink stays a link,
/// hard links are written in place, and a pipe or a device is refused (a window
/// saves, and must never wait). The failure says what went wrong.
Status WriteBlockFile(const QString& path, const Block& space, const Block& freq);

} // namespace quadrel
