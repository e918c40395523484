#pragma once
// One QApplication for every widget benchmark, offscreen unless a display is asked for.

#include "main_window/application_setup.h"

#include <QApplication>

namespace quadrel::bench {

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "quadrel_bench";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        auto* created = new QApplication(argc, argv); // lives for the whole benchmark run
        ConfigureApplication(*created);
        return created;
    }();
    return *app;
}

} // namespace quadrel::bench
