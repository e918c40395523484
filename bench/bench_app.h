#pragma once
// One QApplication for every widget benchmark, offscreen unless a display is asked for.

#include "main_window/application_setup.h"

#include <QApplication>
#include <QStandardPaths>

namespace quadrel::bench {

/// As the program sets itself up, but with settings kept apart from the user's
/// own: a benchmark run by hand must not write ~/.config/Quadrel.
inline void ConfigureBenchmarkApplication(QApplication& app) {
    QStandardPaths::setTestModeEnabled(true);
    ConfigureApplication(app);
}

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "quadrel_bench";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        auto* created = new QApplication(argc, argv); // lives for the whole benchmark run
        ConfigureBenchmarkApplication(*created);
        return created;
    }();
    return *app;
}

} // namespace quadrel::bench
