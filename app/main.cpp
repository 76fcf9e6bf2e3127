#include "app/tprogram.h"

int main(int argc, char *argv[])
{
    return TProgram::run(argc, argv);
}
