#include "jpeg/engine_layout.h"

namespace quadrel::jpeg {

std::array<double, kBlockCells> ToRowMajor(const Block& block) {
    return ToRowMajor<double>(block, [](double value) { return value; });
}

} // namespace quadrel::jpeg
