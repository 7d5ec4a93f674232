#pragma once

#include <functional>

class TFCOMM;

// Runs the program until the user quits: application, services, links, main window, message loop. The demo
// has a simulated meter on COM1 and a simulated USB cable; both read the options of ProgramLinks.
// `prepare` may adjust the window before it shows (tests start the program with a port of their own).
int runProgram(int argc, char *argv[], bool demo = false, const std::function<void(TFCOMM &)> &prepare = {});
