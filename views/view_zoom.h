#pragma once
// View > Zoom: every window drawn larger for a projector. The zoom is the
// application font's size against the 8.25 points the windows are designed
// for; windows laid out by the font follow it at once, and the windows laid
// out in twips lay themselves out again when the application font changes.

#include <QFont>

#include <array>

namespace quadrel {

/// The zoom levels offered, in percent, smallest first.
inline constexpr std::array<int, 4> kZoomLevels{100, 125, 150, 200};

/// The application font at `percent`: MS Sans Serif, 8.25 points at 100 %.
QFont ApplicationFont(int percent);
/// The level the application font gives now; 100 for a font that is no level's.
int CurrentZoom();
/// `font` with its size scaled from 100 % to the current zoom.
QFont Zoomed(QFont font);
/// The system's fixed-pitch font at the current zoom.
QFont ZoomedFixedFont();
/// The level `steps` levels above (or below, when negative) the one at or
/// just under `percent`, held within the levels.
int SteppedZoom(int percent, int steps);

/// Sets the application font for `percent`; every widget is told of the change.
void ApplyZoom(int percent);

/// The zoom chosen last time (kept in the settings file), or 100 for none or
/// a value that is not a level.
int StoredZoom();
void StoreZoom(int percent);

} // namespace quadrel
