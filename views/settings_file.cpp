#include "views/settings_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace quadrel {

QString SettingsFilePath() {
    // The file QSettings("Quadrel", "Quadrel") uses, named directly so that no
    // other file (the organisation's or the system's) is opened besides it.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Quadrel/Quadrel.conf");
}

std::optional<QString> SettingsFileProblem() {
    const QFileInfo file(SettingsFilePath()); // stat(), following a link: never opens the file
    if (!file.exists() || file.isFile()) {
        return std::nullopt;
    }
    return QCoreApplication::translate("quadrel::StoredSettings",
                                       "The settings file %1 is not an ordinary file (%2): "
                                       "Quadrel starts with its default settings and keeps "
                                       "none of this session's.")
        .arg(QDir::toNativeSeparators(file.filePath()),
             file.isDir() ? QCoreApplication::translate("quadrel::StoredSettings", "a folder")
                          : QCoreApplication::translate("quadrel::StoredSettings",
                                                        "a FIFO, a device or a socket"));
}

StoredSettings::StoredSettings() {
    if (!SettingsFileProblem()) {
        settings_.emplace(SettingsFilePath(), QSettings::NativeFormat);
    }
}

QVariant StoredSettings::Value(const QString& key) const {
    return settings_ ? settings_->value(key) : QVariant();
}

void StoredSettings::SetValue(const QString& key, const QVariant& value) {
    if (settings_) {
        settings_->setValue(key, value);
    }
}

} // namespace quadrel
