#include "app/tprogram.h"

// Runs before any static object of the program (glibc hands constructors
// the command line): a service manager may stop the relay while Qt is still
// being set up, and that stop must be kept, not kill it half-started.
__attribute__((constructor(101))) static void catchStopsEarly(int argc, char **argv, char **)
{
    TProgram::catchStopsEarly(argc, argv);
}

int main(int argc, char *argv[])
{
    return TProgram::run(argc, argv);
}
