// quadrel-cli: Quadrel's block arithmetic and the JPEG chain, without a display.
#include "cli/cli_app.h"
#include "file_io/native_path.h"
#include "quadrel_version.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quadrel-cli"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(quadrel::kVersion));
    // arguments() decodes lossily: a file name that is no UTF-8 could not be
    // opened again, so the bytes are taken as given.
    return quadrel::cli::RunCli(quadrel::ArgumentsFromNative(argc, argv));
}
