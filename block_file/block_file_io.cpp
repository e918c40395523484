#include "block_file/block_file_io.h"

#include "block_file/block_file_format.h"

#include <QByteArray>
#include <QFile>
#include <QSaveFile>

#include <string>

namespace quadrel {

BlockFileRead ReadBlockFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {{}, QStringLiteral("The file cannot be opened: %1.").arg(file.errorString())};
    }
    // Only the start of a file is needed: the reader stops after 64 values. One
    // byte over the limit tells whether the file goes on beyond what was read,
    // also for files that report no size (devices, pipes).
    const QByteArray bytes = file.read(kMaxBlockFileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        return {{}, QStringLiteral("The file cannot be read: %1.").arg(file.errorString())};
    }
    const auto size = static_cast<std::size_t>(bytes.size());
    BlockFileValues parsed = ParseBlockValues(std::string_view(bytes.constData(), size));
    const bool cutShort = bytes.size() > kMaxBlockFileBytes;
    // Reading up to the end of a cut-short buffer may have cut a value in two.
    if (cutShort && (parsed.Consumed >= size || (!parsed.Error && parsed.Values.size() < 64))) {
        return {{},
                QStringLiteral("The file is larger than 1 MiB and does not start with 64 "
                               "values, so it is no block file.")};
    }
    if (parsed.Error) {
        // The description is plain ASCII: unprintable bytes arrive escaped.
        return {{}, QString::fromStdString(DescribeError(*parsed.Error))};
    }
    return {std::move(parsed.Values), {}};
}

QString WriteBlockFile(const QString& path, const Block& space, const Block& freq) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return QStringLiteral("The file cannot be created: %1.").arg(file.errorString());
    }
    const std::string text = FormatBlockFile(space, freq);
    const auto size = static_cast<qint64>(text.size());
    if (file.write(text.data(), size) != size) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return QStringLiteral("The file cannot be written: %1.").arg(reason);
    }
    if (!file.commit()) {
        // The data went to a temporary file that could not be put in place.
        return QStringLiteral("The written data could not replace the file: %1.")
            .arg(file.errorString());
    }
    return {};
}

} // namespace quadrel
