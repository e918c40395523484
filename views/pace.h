#pragma once
// How long each step of the pattern cycle and of a Build Mode inverse transform
// stays on screen. On a modern machine the steps compute in a fraction of a
// millisecond, far too fast to watch; the pace brings back a step the eye can follow.

#include <QString>
#include <QStringList>

#include <optional>

namespace quadrel {

enum class Pace { Instant, Quick, Normal, Slow };

/// Milliseconds each step stays on screen; 0 shows the next step at once.
struct StepTimes {
    int PatternMs = 0;   ///< one basis pattern of the cycle
    int BuildStepMs = 0; ///< one coefficient of a Build Mode inverse transform
    bool operator==(const StepTimes&) const = default;
};

inline constexpr Pace kDefaultPace = Pace::Normal;

StepTimes StepTimesOf(Pace pace);

/// "instant", "quick", "normal", "slow": the names the command line and the settings use.
QString PaceName(Pace pace);
std::optional<Pace> PaceFromName(const QString& name);
QStringList PaceNames();

/// The pace chosen last time (kept in the settings file), or the default.
Pace StoredPace();
void StorePace(Pace pace);

} // namespace quadrel
