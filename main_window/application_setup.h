#pragma once

#include "quadrel_version.h"

class QApplication;

namespace quadrel {

inline constexpr const char* kTitle = "Quadrel v";

/// Style, fonts and icon shared by the program and its GUI tests, so that what
/// the tests see is what users see.
void ConfigureApplication(QApplication& app);

} // namespace quadrel
