#pragma once
// Picture files made by the tests themselves: Qt's encoders, then damage or
// metadata put in by hand, always the same bytes for the same arguments.

#include <QByteArray>
#include <QImage>

namespace quadrel::test {

/// `image` in `format` by Qt's writer; quality -1 is the writer's default.
QByteArray Encoded(const QImage& image, const char* format, int quality = -1,
                   bool progressive = false);

/// `jpeg` with `count` bytes of its first scan changed, chosen by `seed`. No
/// byte 0xFF or after one is touched, so no marker is made or broken.
QByteArray WithDamagedScan(QByteArray jpeg, int count, quint32 seed);

/// `jpeg` with an Exif segment right after its start that gives `orientation`
/// (1 upright ... 6: turn 90 degrees clockwise to show it ... 8).
QByteArray WithExifOrientation(const QByteArray& jpeg, int orientation);

/// `jpeg` with `count` stray zero bytes before its second header segment, as
/// some cameras write them.
QByteArray WithStrayHeaderBytes(QByteArray jpeg, int count);

} // namespace quadrel::test
