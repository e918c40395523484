#include "tests/support/jpeg_scan.h"

namespace quadrel::testing {

qint64 ScanBytes(const QByteArray& jpeg) {
    const qsizetype sos = jpeg.indexOf("\xFF\xDA");
    const qsizetype end = jpeg.lastIndexOf("\xFF\xD9");
    if (sos < 0 || end < sos) {
        return -1;
    }
    const qsizetype start = sos + 2 + (quint8(jpeg[sos + 2]) << 8 | quint8(jpeg[sos + 3]));
    qint64 count = 0;
    for (qsizetype i = start; i < end; ++i) {
        count += !(jpeg[i] == '\0' && jpeg[i - 1] == '\xFF');
    }
    return count;
}

} // namespace quadrel::testing
