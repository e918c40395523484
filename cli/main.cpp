// quadrel-cli: Quadrel's block arithmetic and the JPEG chain, without a display.
#include "cli/cli_app.h"
#include "file_io/native_path.h"
#include "picture_io/picture_file.h"
#include "quadrel_version.h"

#include <QCoreApplication>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Qt opens descriptors of its own, and the lowest free number is taken: with
// standard input closed, one of those would be read as the input. A closed
// standard stream is therefore held by /dev/null opened the wrong way round
// before Qt starts, so that reading or writing it fails and is reported.
void HoldClosedStandardStreams() {
    for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(stream, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        const int held =
            ::open("/dev/null", (stream == STDIN_FILENO ? O_WRONLY : O_RDONLY) | O_CLOEXEC);
        if (held >= 0 && held != stream) {
            ::dup2(held, stream);
            ::close(held);
        }
    }
}

} // namespace

int main(int argc, char* argv[]) {
    HoldClosedStandardStreams();
    QCoreApplication app(argc, argv);
    quadrel::QuietPictureDecoders();
    QCoreApplication::setApplicationName(QStringLiteral("quadrel-cli"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(quadrel::kVersion));
    // arguments() decodes lossily: a file name that is no UTF-8 could not be
    // opened again, so the bytes are taken as given.
    return quadrel::cli::RunCli(quadrel::ArgumentsFromNative(argc, argv));
}
