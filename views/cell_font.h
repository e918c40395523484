#pragma once
// The main window's cells are 33 pixels wide, too narrow for a number of five
// or more characters in the window's font. Such a number is shown in a narrow
// face, smaller if need be, so that it is seen whole, sign first.

#include <QFont>
#include <QString>

class QLineEdit;

namespace quadrel {

/// The width a line edit has for its text: its contents area less its margins.
int TextRoom(const QLineEdit& edit);

/// `base` when `text` fits `edit` in it; otherwise a narrow face of the same
/// size, shrunk in quarter points until the text fits (to 5 points at least).
QFont FittingFont(const QLineEdit& edit, const QFont& base, const QString& text);

} // namespace quadrel
