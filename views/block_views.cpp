#include "views/block_views.h"

#include "engine/cell_text.h"
#include "views/square_grid.h"

#include <QLabel>
#include <QLineEdit>

namespace quadrel {

QString PatternCaption(const QString& prefix, int first, int second) {
    return prefix + QString::fromStdString(SignedText(first)) + QLatin1Char(' ') +
           QString::fromStdString(SignedText(second));
}

BlockViews::BlockViews(DctEngine& engine, BlockControls controls, WindowServices services)
    : engine_(engine), controls_(controls), services_(std::move(services)) {
    // Build Mode: show every intermediate picture, fully painted, before the next
    // coefficient is added.
    engine_.SetBuildStepObserver([this] {
        WriteFreq();
        DrawSpace();
        services_.Refresh();
    });
}

void BlockViews::SetCell(int k, const std::string& text) {
    // setText emits textChanged only when the text really changes, which is
    // exactly when the cell-change rule must run.
    controls_.Text1[static_cast<std::size_t>(k)]->setText(QString::fromStdString(text));
}

void BlockViews::WriteFreq() {
    const int n = engine_.MaxIndex;
    for (int i = 0; i <= n; ++i) {
        for (int j = 0; j <= n; ++j) {
            // Read the value only now: writing an earlier cell may have changed it.
            SetCell(i + engine_.BlockSize * j, TruncatedText(engine_.FreqArray[i][j]));
        }
    }
    controls_.Label1->setText(kFreqAmplitudes);
}

void BlockViews::WriteSpace() {
    const int n = engine_.MaxIndex;
    for (int i = 0; i <= n; ++i) {
        for (int j = 0; j <= n; ++j) {
            SetCell(i + engine_.BlockSize * j, FlooredText(engine_.SpaceArray[i][j]));
        }
    }
}

void BlockViews::DrawSpace() {
    const int n = engine_.MaxIndex;
    for (int i = 0; i <= n; ++i) {
        for (int j = 0; j <= n; ++j) {
            const int g = GreyLevel(engine_.SpaceArray[i][j]);
            controls_.Shape1->SetColour(i + engine_.BlockSize * j, QColor(g, g, g));
        }
    }
    controls_.Label2->setText(kPixelPattern);
}

void BlockViews::DCTandDraw() {
    engine_.PerformDCT();
    DrawSpace();
    WriteFreq();
}

void BlockViews::IDCTandDraw() {
    engine_.PerformIDCT();
    WriteFreq();
    DrawSpace();
    services_.Refresh();
}

void BlockViews::AnalysePicture() {
    DCTandDraw();
}

void BlockViews::BuildPicture() {
    IDCTandDraw();
    controls_.Label1->setText(kFreqAmplitudes);
    controls_.Label2->setText(kPixelPattern);
}

void BlockViews::CycleThroDCTPatterns() {
    const int n = engine_.MaxIndex;
    for (int v = 0; v <= n; ++v) {
        for (int u = 0; u <= n; ++u) {
            engine_.ResetFreqSpace();
            engine_.FreqArray[0][0] = 512;
            engine_.FreqArray[u][v] = 512;
            engine_.PerformIDCT();
            controls_.Label1->setText(kPixelAmplitudes);
            WriteSpace();
            DrawSpace();
            controls_.Label2->setText(PatternCaption(QStringLiteral("DCT Pattern: "), v, u));
            services_.Refresh();
            if (!services_.YieldEvents()) {
                return; // the program is ending: no further step is computed or shown
            }
            if (engine_.StopFlag) {
                engine_.StopFlag = false;
                return;
            }
        }
    }
}

} // namespace quadrel
