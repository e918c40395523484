#include "block_file/block_file_io.h"

#include "block_file/block_file_format.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quadrel {

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("quadrel::BlockFile", text);
}

QString SystemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// Closes a POSIX file descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

QString NotOrdinary() {
    return Tr("it is not an ordinary file but a folder, a device or a pipe");
}

// Opens without ever waiting: a pipe that nobody writes to, or one without a
// reader, would otherwise block open() for good. Only ordinary files pass.
int OpenOrdinary(const QString& path, int flags, QString& error, struct stat& info) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = SystemError(errno);
        return -1;
    }
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        error = NotOrdinary();
        return -1;
    }
    return fd;
}

// fsync where the file system supports it; a file system that cannot sync
// (EINVAL, EROFS for special file systems) has nothing more to write.
bool Sync(int fd, QString& error) {
    if (::fsync(fd) == 0 || errno == EINVAL || errno == EROFS) {
        return true;
    }
    error = SystemError(errno);
    return false;
}

// Writes the whole text from the file's start; false with the reason on failure.
bool WriteAll(int fd, const std::string& text, QString& error) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n =
            ::pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = SystemError(n < 0 ? errno : EIO);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Writes over the existing file itself, keeping its inode: its other hard
// links, its owner and a folder that we may not write to. The room is reserved
// before the first byte changes, so a full disk, a quota or a size limit leave
// the old content whole. What cannot be ruled out is an I/O error part-way.
QString WriteInPlace(const QString& path, const std::string& text) {
    QString error;
    struct stat info {};
    const Descriptor fd(OpenOrdinary(path, O_WRONLY, error, info));
    if (fd.Get() < 0) {
        return Tr("The file cannot be opened for writing: %1.").arg(error);
    }
    const auto size = static_cast<off_t>(text.size());
    if (size > info.st_size) {
        if (const int code = ::posix_fallocate(fd.Get(), 0, size); code != 0) {
            // A failed reservation may still have grown the file.
            (void)::ftruncate(fd.Get(), info.st_size);
            return Tr("The file cannot be written: %1.").arg(SystemError(code));
        }
    }
    WriteAll(fd.Get(), text, error);
    if (error.isEmpty() && ::ftruncate(fd.Get(), size) != 0) {
        error = SystemError(errno);
    }
    struct stat written {};
    if (error.isEmpty() && Sync(fd.Get(), error) &&
        (::fstat(fd.Get(), &written) != 0 || written.st_size != size)) {
        error = Tr("the file does not have the size written");
    }
    if (!error.isEmpty()) {
        return Tr("Writing the file in place failed part-way (%1); the file may now be "
                  "incomplete.")
            .arg(error);
    }
    return {};
}

QString WriteReplacing(const QString& path, const std::string& text) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return Tr("The file cannot be created: %1.").arg(file.errorString());
    }
    // Qt 6.4's commit() does not notice a failing final flush and would put an
    // incomplete file in place, so the text goes straight to the temporary
    // file's descriptor, every failure seen, and is synced before the commit.
    QString error;
    if (WriteAll(file.handle(), text, error)) {
        Sync(file.handle(), error);
    }
    if (!error.isEmpty()) {
        file.cancelWriting();
        return Tr("The file cannot be written: %1.").arg(error);
    }
    if (!file.commit()) {
        // The data went to a temporary file that could not be put in place.
        return Tr("The written data could not replace the file: %1.").arg(file.errorString());
    }
    return {};
}

// Writes the text to the file the name leads to; an empty string on success.
QString WriteText(const QString& path, const std::string& text) {
    // Through symlinks: the file the name leads to is the one to look at.
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return WriteReplacing(path, text);
    }
    if (!S_ISREG(info.st_mode)) {
        return Tr("The file cannot be replaced: %1.").arg(NotOrdinary());
    }
    // Replacing would split hard links; and where only the file, not its folder,
    // may be written, no temporary file can be made beside it.
    const QString folder = QFileInfo(QFileInfo(path).canonicalFilePath()).absolutePath();
    const bool folderWritable =
        ::faccessat(AT_FDCWD, QFile::encodeName(folder).constData(), W_OK, AT_EACCESS) == 0;
    if (info.st_nlink > 1 || !folderWritable) {
        return WriteInPlace(path, text);
    }
    return WriteReplacing(path, text);
}

Failure Failed(const QString& message) {
    return Fail(message.toStdString());
}

// Parses what was read of a file or a stream; `tooLarge` is the refusal when
// the bytes were cut at the limit before 64 values were complete.
Result<std::vector<double>> ParseStart(const QByteArray& bytes, const QString& tooLarge) {
    const auto size = static_cast<std::size_t>(bytes.size());
    BlockFileValues parsed = ParseBlockValues(std::string_view(bytes.constData(), size));
    const bool cutShort = bytes.size() > kMaxBlockFileBytes;
    // Reading up to the end of a cut-short buffer may have cut a value in two.
    if (cutShort &&
        (parsed.Consumed >= size || (!parsed.Error && parsed.Values.size() < kBlockFileValues))) {
        return Failed(tooLarge);
    }
    if (parsed.Error) {
        // The description is plain ASCII: unprintable bytes arrive escaped.
        return Fail(DescribeError(*parsed.Error));
    }
    return std::move(parsed.Values);
}

} // namespace

Result<std::vector<double>> ReadBlockFile(const QString& path) {
    QString error;
    struct stat info {};
    const Descriptor fd(OpenOrdinary(path, O_RDONLY, error, info));
    QFile file;
    if (fd.Get() < 0 || !file.open(fd.Get(), QIODevice::ReadOnly)) {
        return Failed(
            Tr("The file cannot be opened: %1").arg(error.endsWith('.') ? error : error + '.'));
    }
    // Only the start of a file is needed: the reader stops after 64 values. One
    // byte over the limit tells whether the file goes on beyond what was read.
    const QByteArray bytes = file.read(kMaxBlockFileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        return Failed(QStringLiteral("The file cannot be read: %1.").arg(file.errorString()));
    }
    return ParseStart(bytes, QStringLiteral("The file is larger than 1 MiB and does not start "
                                            "with 64 values, so it is no block file."));
}

Result<std::vector<double>> ReadStandardInput() {
    // A closed standard input is held write-only (see quadrel-cli's start).
    const int mode = ::fcntl(STDIN_FILENO, F_GETFL);
    if (mode == -1 || (mode & O_ACCMODE) == O_WRONLY) {
        return Failed(Tr("Standard input is closed."));
    }
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly)) {
        return Failed(Tr("Standard input cannot be read: %1.").arg(in.errorString()));
    }
    // One byte over the limit tells whether the input goes on beyond it. A
    // pipe hands over what it has; read on until its end or the limit.
    QByteArray bytes;
    while (bytes.size() <= kMaxBlockFileBytes) {
        const QByteArray chunk = in.read(kMaxBlockFileBytes + 1 - bytes.size());
        if (chunk.isEmpty()) {
            break;
        }
        bytes += chunk;
    }
    if (in.error() != QFileDevice::NoError) {
        return Failed(Tr("Standard input cannot be read: %1.").arg(in.errorString()));
    }
    return ParseStart(bytes, Tr("The input is larger than 1 MiB and does not start with 64 "
                                "values."));
}

Result<jpeg::QuantTable> ReadTableFile(const QString& path) {
    Result<std::vector<double>> values =
        path == QLatin1String("-") ? ReadStandardInput() : ReadBlockFile(path);
    if (!values) {
        return Fail(values.Message());
    }
    return jpeg::TableFromValues(*values);
}

Status WriteBlockFile(const QString& path, const Block& space, const Block& freq) {
    const QString error = WriteText(path, FormatBlockFile(space, freq));
    if (!error.isEmpty()) {
        return Failed(error);
    }
    return Done{};
}

} // namespace quadrel
