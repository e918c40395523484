// quadrel-cli: Quadrel's block arithmetic and the JPEG chain, without a display.
#include "cli/cli_app.h"
#include "picture_io/picture_file.h"
#include "quadrel_version.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    quadrel::QuietPictureDecoders();
    QCoreApplication::setApplicationName(QStringLiteral("quadrel-cli"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(quadrel::kVersion));
    return quadrel::cli::RunCli(QCoreApplication::arguments());
}
