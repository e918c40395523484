#pragma once
// The grid writers, the transform drivers and the pattern cycle: everything
// that turns the engine's block state into what the main window shows.

#include "engine/dct_engine.h"

#include <QString>

#include <array>
#include <functional>

class QLabel;
class QLineEdit;

namespace quadrel {

class SquareGrid;

/// The controls the views write into; all owned by the main window.
struct BlockControls {
    std::array<QLineEdit*, 64> Text1{};
    SquareGrid* Shape1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
};

/// What the views need of the window beyond its controls.
struct WindowServices {
    std::function<void()> Refresh;     ///< repaint the main window at once
    std::function<bool()> YieldEvents; ///< let pending events run; false when the program is ending
};

inline const QString kFreqAmplitudes = QStringLiteral("Freq. Amplitudes");
inline const QString kPixelPattern = QStringLiteral("Pixel Pattern");
inline const QString kPixelAmplitudes = QStringLiteral("Pixel Amplitudes");

/// "DCT Pattern:  0  3", "Freq. Pattern:  3  5": a prefix and two signed texts.
QString PatternCaption(const QString& prefix, int first, int second);

class BlockViews {
public:
    BlockViews(DctEngine& engine, BlockControls controls, WindowServices services);

    void WriteFreq();
    void WriteSpace();
    void DrawSpace();

    void DCTandDraw();
    void IDCTandDraw();
    void AnalysePicture();
    void BuildPicture();

    void CycleThroDCTPatterns();

private:
    void SetCell(int k, const std::string& text);

    DctEngine& engine_;
    BlockControls controls_;
    WindowServices services_;
};

} // namespace quadrel
