#include "tests/support/ready_engine.h"

namespace quadrel::test {

DctEngine ReadyEngine() {
    DctEngine engine;
    engine.SetConsts();
    engine.MakeCosTable();
    engine.ResetFreqSpace();
    return engine;
}

} // namespace quadrel::test
