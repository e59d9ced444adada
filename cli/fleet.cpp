#include "cli/cli.h"
int CmdScan(const Args&) { return Fail(kExitUsage, "scan: not yet"); }
int CmdBackup(const Args&) { return Fail(kExitUsage, "backup: not yet"); }
