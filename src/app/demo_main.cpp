// The program with a simulated meter on COM1, for trying it without a meter.
#include "app/main_window.h"
#include "app/program.h"
#include "link/serial/simulated_serial_port.h"

int main(int argc, char *argv[])
{
    return runProgram(argc, argv, [](TFCOMM &window) { bindMeterSimulator(*window.COMM2); });
}
