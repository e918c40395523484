#pragma once
// What the reference encoder's file holds, for tests that compare with it.

#include <QByteArray>

namespace quadrel::testing {

/// Entropy-coded bytes of a baseline JPEG's one scan, stuffed zeros not
/// counted; -1 when the file has no scan.
qint64 ScanBytes(const QByteArray& jpeg);

} // namespace quadrel::testing
