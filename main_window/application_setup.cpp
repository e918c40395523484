#include "main_window/application_setup.h"

#include "views/view_zoom.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QStyleFactory>

namespace quadrel {

void ConfigureApplication(QApplication& app) {
    // One style everywhere keeps the layout and the colours of the buttons the same
    // on every desktop (Fusion honours button back colours).
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    // The classic faces are rarely installed on Linux; Liberation Mono is metric
    // compatible with Courier New, Liberation Sans a close match for MS Sans Serif.
    QFont::insertSubstitutions(QStringLiteral("Courier New"), {QStringLiteral("Liberation Mono"),
                                                               QStringLiteral("DejaVu Sans Mono")});
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    app.setFont(ApplicationFont(100)); // View > Zoom scales it
    QIcon icon;
    icon.addFile(QStringLiteral(":/quadrel/quadrel-32.png"));
    icon.addFile(QStringLiteral(":/quadrel/quadrel-256.png"));
    app.setWindowIcon(icon);
    app.setApplicationName(QStringLiteral("Quadrel"));
    app.setApplicationVersion(QString::fromLatin1(kVersion));
}

} // namespace quadrel
