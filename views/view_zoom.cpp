#include "views/view_zoom.h"

#include "views/settings_file.h"

#include <QApplication>
#include <QFontDatabase>

#include <algorithm>
#include <cmath>

namespace quadrel {

namespace {

constexpr double kBasePoints = 8.25;
const QString kZoomKey = QStringLiteral("zoom");

} // namespace

QFont ApplicationFont(int percent) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(kBasePoints * percent / 100.0);
    return font;
}

int CurrentZoom() {
    // Only a font ApplyZoom set is a zoom: any other (a program or test that
    // left the platform's font) lays out at 100 %.
    const double percent = QApplication::font().pointSizeF() / kBasePoints * 100.0;
    for (const int level : kZoomLevels) {
        if (std::abs(percent - level) < 0.5) {
            return level;
        }
    }
    return kZoomLevels.front();
}

QFont Zoomed(QFont font) {
    font.setPointSizeF(font.pointSizeF() * CurrentZoom() / 100.0);
    return font;
}

QFont ZoomedFixedFont() {
    return Zoomed(QFontDatabase::systemFont(QFontDatabase::FixedFont));
}

int SteppedZoom(int percent, int steps) {
    const auto above = std::upper_bound(kZoomLevels.begin(), kZoomLevels.end(), percent);
    const auto at = static_cast<int>(std::max(above - kZoomLevels.begin() - 1, std::ptrdiff_t{0}));
    const int last = static_cast<int>(kZoomLevels.size()) - 1;
    return kZoomLevels.at(static_cast<std::size_t>(std::clamp(at + steps, 0, last)));
}

void ApplyZoom(int percent) {
    if (percent != CurrentZoom()) {
        QApplication::setFont(ApplicationFont(percent));
    }
}

int StoredZoom() {
    bool ok = false;
    const int percent = StoredSettings().Value(kZoomKey).toInt(&ok);
    return ok && std::find(kZoomLevels.begin(), kZoomLevels.end(), percent) != kZoomLevels.end()
               ? percent
               : kZoomLevels.front();
}

void StoreZoom(int percent) {
    StoredSettings().SetValue(kZoomKey, percent);
}

} // namespace quadrel
