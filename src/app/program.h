#pragma once

// Runs the program until the user quits: application, services, links, main window, message loop. The demo
// has a simulated meter on COM1 and a simulated USB cable; both read the options of ProgramLinks.
int runProgram(int argc, char *argv[], bool demo = false);
