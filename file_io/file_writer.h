#pragma once
// The one way this program writes a file. An ordinary file is replaced only
// once every byte is on disk (a temporary file beside it, synced, then renamed
// over it), so a failure leaves the old file whole. A symlink is followed and
// stays a link. A file with other hard links, or in a folder we may not write
// to, is written in place: the room is reserved first, so a full disk or a size
// limit leave it as it was, and only an I/O error part-way can leave it
// incomplete (the message then says so). A pipe, a terminal or a device like
// /dev/null is written as a stream when the caller allows streams; a folder, a
// socket or a block device is always refused. Names go to the system through
// NativePath, so any byte in them survives.

#include "base/result.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <string_view>

struct stat;

namespace quadrel {

/// Whether a pipe, a character device or "-" (standard output) may be written.
/// A command line writes them; a window refuses them, since a pipe without a
/// reader would make it wait.
enum class Streams { Refuse, Allow };

/// An output opened for writing, with nothing written yet. Opening every output
/// before writing any lets a command fail with no file touched when one of its
/// outputs cannot be made. Dropped without Commit, it leaves the file as it was
/// (a stream may have had bytes written to it).
class OutputFile {
public:
    /// Opens the file `path` leads to. With Streams::Allow, "-" is standard
    /// output and a pipe without a reader is refused at once, never waited on.
    static Result<OutputFile> Open(const QString& path, Streams streams);

    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    /// Writes all bytes; a file being replaced keeps its old content until Commit.
    Status Write(std::string_view bytes);
    /// Puts what was written in place of the file.
    Status Commit();

private:
    enum class Kind { Stream, InPlace, Replace };
    OutputFile(Kind kind, int fd, bool ownsFd);
    // A pipe or a device; a file written over itself; a new file beside the
    // one it replaces (`old` its status, or null when there is none yet).
    static Result<OutputFile> OpenStream(const QByteArray& native);
    static Result<OutputFile> OpenInPlace(const QByteArray& native);
    static Result<OutputFile> OpenReplacing(const QByteArray& target, const struct stat* old);

    Kind kind_;
    int fd_;
    bool ownsFd_;
    long long oldSize_ = 0; ///< InPlace: the size before writing
    QByteArray target_;     ///< Replace: the file that the temporary file replaces
    QByteArray temporary_;  ///< Replace: the temporary file until it is renamed
};

/// Opens, writes and commits in one step; the failure says what went wrong
/// without naming the file.
Status WriteFile(const QString& path, std::string_view bytes, Streams streams);
inline Status WriteFile(const QString& path, const QByteArray& bytes, Streams streams) {
    return WriteFile(
        path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), streams);
}

} // namespace quadrel
