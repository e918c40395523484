#include "block_file/block_file_io.h"

#include "block_file/block_file_format.h"
#include "file_io/file_writer.h"
#include "file_io/native_path.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>

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

// Opens without ever waiting: a pipe that nobody writes to would otherwise
// block open() for good. Only ordinary files pass.
int OpenOrdinary(const QString& path, int flags, QString& error, struct stat& info) {
    const int fd = ::open(NativePath(path).constData(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
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
    // A window saves: a pipe without a reader must not make it wait.
    return WriteFile(path, FormatBlockFile(space, freq), Streams::Refuse);
}

} // namespace quadrel
