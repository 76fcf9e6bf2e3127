#pragma once

#include "app/tcommandline.h"

// --write-config and --check-config: settings files made and proved without
// opening a single link, so that a script can trust a file before a swarm
// run depends on it.
class TConfigTool
{
public:
    // 0 written, 2 not (with the reason on standard error).
    static int write(const TRunOptions &options);
    // Every link on standard output as it would open, every problem as the
    // relay would refuse it; 0 when it may run as it stands, else 1.
    static int check(const TRunOptions &options);
    static constexpr int invalidExitCode = 1;
};
