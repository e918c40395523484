#include "file_io/file_writer.h"

#include "file_io/native_path.h"

#include <QCoreApplication>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quadrel {

namespace {

// How many symlinks a name may pass through, as the system allows.
constexpr int kMostLinks = 40;
// Names tried for the temporary file before giving up.
constexpr int kTemporaryTries = 100;
// How much of the file's name the temporary name starts with.
constexpr qsizetype kTemporaryStem = 200;

QString Tr(const char* text) {
    return QCoreApplication::translate("quadrel::FileWriter", text);
}

QString SystemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

Failure Failed(const QString& message) {
    return Fail(message.toStdString());
}

Failure CannotWrite(int code) {
    return Failed(Tr("The file cannot be written: %1.").arg(SystemError(code)));
}

// fsync where the file system supports it; one that cannot sync (EINVAL,
// EROFS for special file systems) has nothing more to write.
int Sync(int fd) {
    return ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS ? 0 : errno;
}

// Writes all bytes, at the file's start when `positioned`, else where the
// stream stands; 0 or the error.
int WriteAll(int fd, std::string_view bytes, bool positioned) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const char* from = bytes.data() + done;
        const std::size_t left = bytes.size() - done;
        const ssize_t n = positioned ? ::pwrite(fd, from, left, static_cast<off_t>(done))
                                     : ::write(fd, from, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? errno : EIO;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

QByteArray FolderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0) {
        return QByteArrayLiteral(".");
    }
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

// The name a chain of symlinks ends at, existing or not: a save through a
// link writes the file it leads to, and the link stays.
Result<QByteArray> FollowLinks(QByteArray path) {
    for (int i = 0; i < kMostLinks; ++i) {
        struct stat info {};
        if (::lstat(path.constData(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return path;
        }
        QByteArray link(static_cast<qsizetype>(info.st_size) + 1, '\0');
        const ssize_t n = ::readlink(path.constData(), link.data(), link.size());
        if (n < 0 || n >= link.size()) {
            return Failed(
                Tr("The file cannot be created: %1.").arg(SystemError(n < 0 ? errno : EIO)));
        }
        link.truncate(n);
        path = link.startsWith('/') ? link : FolderOf(path) + '/' + link;
    }
    return Failed(Tr("The file cannot be created: %1.").arg(SystemError(ELOOP)));
}

// Opens a new file beside `target` that only this call knows; the mode the
// system gives new files unless the file replaced has its own.
int OpenTemporary(const QByteArray& target, QByteArray& name) {
    const qsizetype slash = target.lastIndexOf('/');
    // Cut short, the name still fits beside the longest one the system allows.
    const QByteArray base = target.mid(slash + 1).left(kTemporaryStem);
    const QByteArray folder = slash < 0 ? QByteArray() : target.left(slash + 1);
    for (int i = 0; i < kTemporaryTries; ++i) {
        name = folder + '.' + base + '.' +
               QByteArray::number(QRandomGenerator::global()->generate(), 36);
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

QString NotOrdinary(mode_t mode) {
    if (S_ISDIR(mode)) {
        return Tr("it is a folder");
    }
    if (S_ISFIFO(mode) || S_ISCHR(mode)) {
        return Tr("it is not an ordinary file but a pipe or a device");
    }
    return Tr("it is not an ordinary file but a socket or a block device");
}

} // namespace

OutputFile::OutputFile(Kind kind, int fd, bool ownsFd) : kind_(kind), fd_(fd), ownsFd_(ownsFd) {}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : kind_(other.kind_), fd_(std::exchange(other.fd_, -1)), ownsFd_(other.ownsFd_),
      oldSize_(other.oldSize_), target_(std::move(other.target_)),
      temporary_(std::exchange(other.temporary_, {})) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        OutputFile gone(std::move(*this));
        kind_ = other.kind_;
        fd_ = std::exchange(other.fd_, -1);
        ownsFd_ = other.ownsFd_;
        oldSize_ = other.oldSize_;
        target_ = std::move(other.target_);
        temporary_ = std::exchange(other.temporary_, {});
    }
    return *this;
}

OutputFile::~OutputFile() {
    if (ownsFd_ && fd_ >= 0) {
        ::close(fd_);
    }
    if (!temporary_.isEmpty()) {
        ::unlink(temporary_.constData());
    }
}

Result<OutputFile> OutputFile::Open(const QString& path, Streams streams) {
    if (path.isEmpty()) {
        return Failed(Tr("No file name is given."));
    }
    if (streams == Streams::Allow && path == QLatin1String("-")) {
        return OutputFile(Kind::Stream, STDOUT_FILENO, false);
    }
    const QByteArray native = NativePath(path);
    struct stat info {};
    const bool exists = ::stat(native.constData(), &info) == 0;
    if (!exists && errno != ENOENT) {
        return Failed(Tr("The file cannot be created: %1.").arg(SystemError(errno)));
    }
    if (exists && !S_ISREG(info.st_mode)) {
        const bool stream = S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode);
        if (!stream || streams == Streams::Refuse) {
            return Failed(Tr("The file cannot be replaced: %1.").arg(NotOrdinary(info.st_mode)));
        }
        return OpenStream(native);
    }
    // A file we may not write is not ours to replace either, even where the
    // folder would let a new one take its name.
    if (exists && ::faccessat(AT_FDCWD, native.constData(), W_OK, AT_EACCESS) != 0) {
        return Failed(Tr("The file cannot be opened for writing: %1.").arg(SystemError(errno)));
    }
    Result<QByteArray> target = FollowLinks(native);
    if (!target) {
        return Fail(target.Message());
    }
    // Replacing would split hard links; and where only the file, not its
    // folder, may be written, no temporary file can be made beside it.
    if (exists && (info.st_nlink > 1 ||
                   ::faccessat(AT_FDCWD, FolderOf(*target).constData(), W_OK, AT_EACCESS) != 0)) {
        return OpenInPlace(native);
    }
    return OpenReplacing(*target, exists ? &info : nullptr);
}

Result<OutputFile> OutputFile::OpenStream(const QByteArray& native) {
    // Without a reader a pipe would block open() for good: refuse it now.
    const int fd = ::open(native.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return Failed(
            errno == ENXIO
                ? Tr("No program is reading from the pipe.")
                : Tr("The file cannot be opened for writing: %1.").arg(SystemError(errno)));
    }
    OutputFile file(Kind::Stream, fd, true);
    // The reader is there; from now on a full pipe waits for it.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return CannotWrite(errno);
    }
    return file;
}

Result<OutputFile> OutputFile::OpenInPlace(const QByteArray& native) {
    const int fd = ::open(native.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return Failed(Tr("The file cannot be opened for writing: %1.").arg(SystemError(errno)));
    }
    OutputFile file(Kind::InPlace, fd, true);
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        return Failed(Tr("The file cannot be replaced: %1.").arg(NotOrdinary(opened.st_mode)));
    }
    file.oldSize_ = opened.st_size;
    return file;
}

Result<OutputFile> OutputFile::OpenReplacing(const QByteArray& target, const struct stat* old) {
    QByteArray temporary;
    const int fd = OpenTemporary(target, temporary);
    if (fd < 0) {
        return Failed(Tr("The file cannot be created: %1.").arg(SystemError(errno)));
    }
    OutputFile file(Kind::Replace, fd, true);
    file.target_ = target;
    file.temporary_ = temporary;
    if (old != nullptr) {
        // The new file keeps the old one's permissions, and its owner and
        // group where we may give them.
        if (::fchmod(fd, old->st_mode & 07777) != 0) {
            return Failed(Tr("The file cannot be created: %1.").arg(SystemError(errno)));
        }
        if (::fchown(fd, old->st_uid, old->st_gid) != 0) {
            // Only the owner's own files are ours to give: keep ours.
        }
    }
    return file;
}

Status OutputFile::Write(std::string_view bytes) {
    if (fd_ < 0) {
        return CannotWrite(EBADF);
    }
    if (kind_ == Kind::Stream) {
        if (const int code = WriteAll(fd_, bytes, false); code != 0) {
            return CannotWrite(code);
        }
        return Done{};
    }
    const auto size = static_cast<off_t>(bytes.size());
    if (kind_ == Kind::Replace) {
        if (const int code = WriteAll(fd_, bytes, true); code != 0) {
            return CannotWrite(code);
        }
        if (const int code = Sync(fd_); code != 0) {
            return CannotWrite(code);
        }
        return Done{};
    }
    // In place: the room is reserved before the first byte changes, so a full
    // disk, a quota or a size limit leave the old content whole.
    if (size > oldSize_) {
        if (const int code = ::posix_fallocate(fd_, 0, size); code != 0) {
            // A failed reservation may still have grown the file.
            if (::ftruncate(fd_, static_cast<off_t>(oldSize_)) != 0) {
                // Nothing more to do: the reason given is the reservation's.
            }
            return CannotWrite(code);
        }
    }
    int code = WriteAll(fd_, bytes, true);
    if (code == 0 && ::ftruncate(fd_, size) != 0) {
        code = errno;
    }
    if (code == 0) {
        code = Sync(fd_);
    }
    QString error = code != 0 ? SystemError(code) : QString();
    struct stat written {};
    if (code == 0 && (::fstat(fd_, &written) != 0 || written.st_size != size)) {
        error = Tr("the file does not have the size written");
    }
    if (!error.isEmpty()) {
        return Failed(
            Tr("Writing the file in place failed part-way (%1); the file may now be incomplete.")
                .arg(error));
    }
    return Done{};
}

Status OutputFile::Commit() {
    if (kind_ != Kind::Replace || temporary_.isEmpty()) {
        return Done{};
    }
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0) {
        return CannotWrite(errno);
    }
    if (::rename(temporary_.constData(), target_.constData()) != 0) {
        return Failed(
            Tr("The written data could not replace the file: %1.").arg(SystemError(errno)));
    }
    temporary_.clear();
    // The new name on disk too, where the folder can be synced.
    const int folder = ::open(FolderOf(target_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return Done{};
}

Status WriteFile(const QString& path, std::string_view bytes, Streams streams) {
    Result<OutputFile> file = OutputFile::Open(path, streams);
    if (!file) {
        return Fail(file.Message());
    }
    if (Status written = file->Write(bytes); !written) {
        return written;
    }
    return file->Commit();
}

} // namespace quadrel
