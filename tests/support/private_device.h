#pragma once
// A device node for a test to write to. Run by root, a writer that wrongly
// replaced /dev/null would replace the machine's own; so root writes to a node
// of the same device in the test's folder, which only the test can lose.

#include <QByteArray>

#include <sys/stat.h>
#include <unistd.h>

namespace quadrel::test {

/// `device` itself for other users; for root a node of it in `folder` (ending
/// in '/'), or nothing when none can be made.
inline QByteArray PrivateDevice(const QByteArray& device, const QByteArray& folder) {
    struct stat info {};
    if (::geteuid() != 0 || ::stat(device.constData(), &info) != 0 || !S_ISCHR(info.st_mode)) {
        return device;
    }
    const QByteArray node = folder + device.mid(device.lastIndexOf('/') + 1);
    return ::mknod(node.constData(), S_IFCHR | 0666, info.st_rdev) == 0 ? node : QByteArray();
}

} // namespace quadrel::test
