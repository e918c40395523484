#pragma once
// What the core tests and benchmarks share; no window code.

#include "engine/dct_engine.h"

namespace quadrel::test {

/// An engine ready to transform, as the main window sets it up at start.
DctEngine ReadyEngine();

} // namespace quadrel::test
