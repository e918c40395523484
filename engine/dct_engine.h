#pragma once
// The block state of one 8x8 DCT study block and every operation on it.
// Deliberately free of any window toolkit: the window reaches into this object
// and redraws, the engine only computes.

#include "engine/block.h"

#include <functional>

namespace quadrel {

class DctEngine {
public:
    // State, in the order the main window holds it. Public on purpose: the
    // window's grid writers and the tests read it directly.
    bool BuildMode = false;
    int QuantScale = 16;
    int MaxIndex = 7;
    int BlockSize = 8;
    double PiValue = 3.1415927;
    Block CosTable{};
    Block SpaceArray{}; ///< never written cells hold 0.0, which is what they count as
    Block FreqArray{};
    bool StopFlag = false;

    static constexpr int kMaxQuantScale = 512;

    void SetConsts();
    void MakeCosTable();
    void ResetFreqSpace();
    /// Writes nothing when an index lies outside 0..7.
    void SetFreqValue(int u, int v, double val);
    void SetSpaceValue(int x, int y, double val);

    void PerformDCT();
    /// In Build Mode the observer runs after each of the 64 coefficients has
    /// been added. It may rewrite FreqArray (grid writes feed back through the
    /// cell-change rule), so each coefficient is read only when its turn comes.
    void PerformIDCT();
    void SetBuildStepObserver(std::function<void()> observer) { buildStep_ = std::move(observer); }

    /// Quantises and dequantises FreqArray in place with the uniform step QuantScale.
    void QuantiseBlock();
    /// The "+" and "-" buttons: double or halve within 1..512.
    void DoubleScale();
    void HalveScale();

private:
    std::function<void()> buildStep_;
};

} // namespace quadrel
