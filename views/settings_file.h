#pragma once
// The user's settings file, opened only when it is an ordinary file. QSettings
// opens it with a blocking open(): a FIFO in its place would hang the program
// at start, a device such as /dev/zero would be read without end. Anything but
// an ordinary file (or none yet) reads as the defaults and keeps nothing.

#include <QSettings>
#include <QString>
#include <QVariant>

#include <optional>

namespace quadrel {

/// Where the settings are kept: <user config folder>/Quadrel/Quadrel.conf.
QString SettingsFilePath();

/// Why the settings file cannot be used this time, or nothing when it can
/// (also when it does not exist yet). Asks only for the file's type, which never blocks.
std::optional<QString> SettingsFileProblem();

/// The settings, or the defaults when the file cannot be used.
class StoredSettings {
public:
    StoredSettings();

    /// The stored value, or an invalid QVariant when none is kept.
    QVariant Value(const QString& key) const;
    void SetValue(const QString& key, const QVariant& value);

private:
    std::optional<QSettings> settings_;
};

} // namespace quadrel
