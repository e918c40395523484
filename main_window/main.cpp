#include "main_window/application_setup.h"
#include "main_window/desktop_window.h"
#include "picture_io/picture_file.h"
#include "views/settings_file.h"
#include "views/view_zoom.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    quadrel::ConfigureApplication(app);
    quadrel::QuietPictureDecoders();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QCoreApplication::translate("main", "Study the 2-D DCT on one 8x8 block."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption paceOption(
        QStringLiteral("pace"),
        QCoreApplication::translate("main", "Step time of the pattern cycle and Build Mode for "
                                            "this run: %1.")
            .arg(quadrel::PaceNames().join(QStringLiteral(", "))),
        QStringLiteral("pace"));
    parser.addOption(paceOption);
    parser.addPositionalArgument(
        QStringLiteral("file"),
        QCoreApplication::translate("main", "A block file to load, or a picture to open in the "
                                            "bitmap viewer."),
        QStringLiteral("[file...]"));
    parser.process(app);

    if (const std::optional<QString> problem = quadrel::SettingsFileProblem()) {
        QTextStream(stderr) << "quadrel: " << *problem << '\n';
    }
    quadrel::Pace pace = quadrel::StoredPace();
    if (parser.isSet(paceOption)) {
        const std::optional<quadrel::Pace> chosen = quadrel::PaceFromName(parser.value(paceOption));
        if (!chosen) {
            QTextStream(stderr) << QCoreApplication::translate(
                                       "main", "quadrel: unknown pace \"%1\"; choose one of %2.\n")
                                       .arg(parser.value(paceOption),
                                            quadrel::PaceNames().join(QStringLiteral(", ")));
            return 2;
        }
        pace = *chosen;
    }

    quadrel::ApplyZoom(quadrel::StoredZoom());
    quadrel::DesktopWindow window;
    window.SetPace(pace);
    window.show();
    for (const QString& file : parser.positionalArguments()) {
        window.OpenFile(file);
    }
    return QApplication::exec();
}
