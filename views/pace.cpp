#include "views/pace.h"

#include "views/settings_file.h"

#include <array>

namespace quadrel {

namespace {

struct PaceEntry {
    Pace pace;
    const char* name;
    StepTimes times;
};

constexpr std::array<PaceEntry, 4> kPaces{{
    {Pace::Instant, "instant", {0, 0}},
    {Pace::Quick, "quick", {100, 20}},
    {Pace::Normal, "normal", {250, 50}},
    {Pace::Slow, "slow", {1000, 200}},
}};

const PaceEntry& EntryOf(Pace pace) {
    for (const PaceEntry& entry : kPaces) {
        if (entry.pace == pace) {
            return entry;
        }
    }
    return kPaces[2];
}

const QString kPaceKey = QStringLiteral("pace");

} // namespace

StepTimes StepTimesOf(Pace pace) {
    return EntryOf(pace).times;
}

QString PaceName(Pace pace) {
    return QString::fromLatin1(EntryOf(pace).name);
}

std::optional<Pace> PaceFromName(const QString& name) {
    for (const PaceEntry& entry : kPaces) {
        if (name.compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0) {
            return entry.pace;
        }
    }
    return std::nullopt;
}

QStringList PaceNames() {
    QStringList names;
    for (const PaceEntry& entry : kPaces) {
        names << QString::fromLatin1(entry.name);
    }
    return names;
}

Pace StoredPace() {
    // An unknown or damaged entry falls back to the default.
    return PaceFromName(StoredSettings().Value(kPaceKey).toString()).value_or(kDefaultPace);
}

void StorePace(Pace pace) {
    StoredSettings().SetValue(kPaceKey, PaceName(pace));
}

} // namespace quadrel
