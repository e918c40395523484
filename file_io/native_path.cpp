#include "file_io/native_path.h"

#include <cstddef>

namespace quadrel {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;
constexpr char16_t kFirstEscape = 0xDC80;
constexpr char16_t kLastEscape = 0xDCFF;

bool IsContinuation(unsigned char b) {
    return (b & 0xC0U) == 0x80U;
}

// The length of the valid UTF-8 sequence at `at`, or 0 when its first byte
// starts none. Overlong forms, encoded surrogates and code points beyond
// U+10FFFF are not valid, as the standard says.
qsizetype SequenceLength(QByteArrayView bytes, qsizetype at) {
    const auto byte = [&](qsizetype k) {
        return at + k < bytes.size() ? static_cast<unsigned char>(bytes[at + k]) : 0U;
    };
    const unsigned char lead = byte(0);
    if (lead < 0x80U) {
        return 1;
    }
    qsizetype length = 0;
    unsigned char low = 0x80U;
    unsigned char high = 0xBFU;
    if (lead >= 0xC2U && lead <= 0xDFU) {
        length = 2;
    } else if (lead >= 0xE0U && lead <= 0xEFU) {
        length = 3;
        low = lead == 0xE0U ? 0xA0U : 0x80U;
        high = lead == 0xEDU ? 0x9FU : 0xBFU;
    } else if (lead >= 0xF0U && lead <= 0xF4U) {
        length = 4;
        low = lead == 0xF0U ? 0x90U : 0x80U;
        high = lead == 0xF4U ? 0x8FU : 0xBFU;
    } else {
        return 0;
    }
    if (byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (qsizetype k = 2; k < length; ++k) {
        if (!IsContinuation(byte(k))) {
            return 0;
        }
    }
    return length;
}

bool IsEscape(char16_t unit) {
    return unit >= kFirstEscape && unit <= kLastEscape;
}

} // namespace

QString PathFromNative(QByteArrayView bytes) {
    QString path;
    path.reserve(bytes.size());
    qsizetype at = 0;
    while (at < bytes.size()) {
        const qsizetype length = SequenceLength(bytes, at);
        if (length == 0) {
            path +=
                QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[at])));
            ++at;
        } else {
            path += QString::fromUtf8(bytes.sliced(at, length));
            at += length;
        }
    }
    return path;
}

QByteArray NativePath(const QString& path) {
    QByteArray bytes;
    bytes.reserve(path.size());
    qsizetype from = 0; // the start of the run not yet encoded
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t unit = path[i].unicode();
        // A low surrogate after a high one is half of a pair, no escape.
        const bool paired = i > 0 && QChar::isHighSurrogate(path[i - 1].unicode());
        if (IsEscape(unit) && !paired) {
            bytes += QStringView(path).sliced(from, i - from).toUtf8();
            bytes += static_cast<char>(unit - kEscapeBase);
            from = i + 1;
        }
    }
    bytes += QStringView(path).sliced(from).toUtf8();
    return bytes;
}

QString ShownPath(const QString& path) {
    QString shown;
    shown.reserve(path.size());
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t unit = path[i].unicode();
        const bool paired = i > 0 && QChar::isHighSurrogate(path[i - 1].unicode());
        if (IsEscape(unit) && !paired) {
            shown += QStringLiteral("\\x%1").arg(unit - kEscapeBase, 2, 16, QLatin1Char('0'));
        } else {
            shown += path[i];
        }
    }
    return shown;
}

QStringList ArgumentsFromNative(int argc, const char* const* argv) {
    QStringList arguments;
    arguments.reserve(argc);
    for (int i = 0; i < argc; ++i) {
        arguments << PathFromNative(QByteArrayView(argv[i]));
    }
    return arguments;
}

} // namespace quadrel
