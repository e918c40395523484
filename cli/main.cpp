// quadrel-cli: Quadrel's block arithmetic and the JPEG chain, without a display.
#include "cli/cli_app.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quadrel-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUADREL_VERSION));
    return quadrel::cli::RunCli(QCoreApplication::arguments());
}
