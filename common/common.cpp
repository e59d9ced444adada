// Interruption and failure, as every command of kryta-lt meets them.
#include "common/common.h"

#include <cstdio>

#include "sensor/vars.h"

namespace {

// SIGINT and SIGTERM end the work in progress: stop_flag, which the stoppable exchanges and the
// loops look at, is set inside event processing.
bool interrupted = false;

}  // namespace

void StopWork() {
    interrupted = true;
    stop_flag = 1;
}

bool Interrupted() { return interrupted; }

void ArmStop() { stop_flag = Interrupted() ? 1 : 0; }

int Fail(int code, const std::string& text) {
    std::fprintf(stderr, "kryta-lt: %s\n", text.c_str());
    return code;
}
