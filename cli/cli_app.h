#pragma once
// quadrel-cli's command line: parses it, runs the command, writes the result.

#include <QStringList>

namespace quadrel::cli {

/// Returns the exit status: 0 done, 1 unusable input or unwritable output, 2 usage error.
int RunCli(const QStringList& arguments);

} // namespace quadrel::cli
