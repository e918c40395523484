#include "cli/commands.h"

#include "cli/window_replay.h"
#include "engine/cell_text.h"

#include <cmath>

namespace quadrel::cli {

using report::Axes;
using report::Document;
using report::Grid64;
using report::Node;
using report::RowMajor;
using report::Shown;
using report::WholeGrid;

Node DctReport(const std::vector<double>& block) {
    WindowReplay window;
    window.LoadBlock(block);
    Node doc = Document();
    doc.Add(Node::MakeGrid("coefficients", "Freq. Amplitudes", RowMajor(window.Engine().FreqArray),
                           Axes::Frequencies, Shown::Truncated));
    return doc;
}

Node IdctReport(const std::vector<double>& frequencies) {
    WindowReplay window;
    window.EnterFrequencies(frequencies);
    window.BuildPicture();
    Node doc = Document();
    doc.Add(Node::MakeGrid("pixels", "Pixel Amplitudes", RowMajor(window.Engine().SpaceArray),
                           Axes::Pixels, Shown::Floored));
    return doc;
}

Node QuantReport(const std::vector<double>& block, int step) {
    WindowReplay window;
    window.LoadBlock(block);
    window.SetQuantStep(step);
    window.Quantise();
    Node doc = Document();
    doc.Add(Node::MakeInteger("step", "Quant", step));
    doc.Add(Node::MakeGrid("coefficients", "Freq. Amplitudes", RowMajor(window.Engine().FreqArray),
                           Axes::Frequencies, Shown::Truncated));
    doc.Add(Node::MakeGrid("pixels", "Pixel Amplitudes", RowMajor(window.Engine().SpaceArray),
                           Axes::Pixels, Shown::Floored));
    return doc;
}

Node PatternReport(int u, int v) {
    WindowReplay window;
    window.ShowPattern(u, v);
    const Grid64 pixels = RowMajor(window.Engine().SpaceArray);
    Grid64 grey{};
    for (std::size_t i = 0; i < grey.size(); ++i) {
        grey[i] = GreyLevel(pixels[i]);
    }
    Node doc = Document();
    doc.Add(Node::MakeInteger("u", "Horizontal frequency", u));
    doc.Add(Node::MakeInteger("v", "Vertical frequency", v));
    doc.Add(Node::MakeGrid("pixels", "Pixel Amplitudes", pixels, Axes::Pixels, Shown::Floored));
    doc.Add(WholeGrid("grey", "Grey levels drawn", grey, Axes::Pixels));
    return doc;
}

} // namespace quadrel::cli
