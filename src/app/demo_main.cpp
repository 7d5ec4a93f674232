// The program with a simulated meter on COM1 and a simulated USB cable, for trying it without a meter.
#include "app/program.h"

int main(int argc, char *argv[])
{
    return runProgram(argc, argv, true);
}
