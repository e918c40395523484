#pragma once

class QApplication;

namespace quadrel {

inline constexpr const char* kTitle = "Quadrel v";
inline constexpr const char* kVersion = "3.0";

/// Style, fonts and icon shared by the program and its GUI tests, so that what
/// the tests see is what users see.
void ConfigureApplication(QApplication& app);

} // namespace quadrel
