#pragma once
// What the two secondary windows may do to the main window's block. The frequency
// entry dialog and the bitmap viewer see the main window only through this.

#include <QString>

namespace quadrel {

class BlockHost {
public:
    virtual ~BlockHost() = default;

    virtual void ResetFreqSpace() = 0;
    virtual void SetFreqValue(int u, int v, double val) = 0;
    virtual void SetSpaceValue(int x, int y, double val) = 0;
    virtual void IDCTandDraw() = 0;
    virtual void DCTandDraw() = 0;
    /// Repaints the main window at once, not at the next idle moment.
    virtual void Refresh() = 0;
    /// The caption under the grey-square grid.
    virtual void SetLabel2Caption(const QString& caption) = 0;

protected:
    BlockHost() = default;
    BlockHost(const BlockHost&) = default;
    BlockHost& operator=(const BlockHost&) = default;
};

} // namespace quadrel
