#pragma once

#include <functional>

class TFCOMM;

// Runs the program until the user quits: application, services, main
// window, message loop. `prepare` may adjust the window before it shows.
int runProgram(int argc, char *argv[], const std::function<void(TFCOMM &)> &prepare = {});
