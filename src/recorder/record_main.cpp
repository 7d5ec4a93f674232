#include "recorder/recorder_program.h"

int main(int argc, char *argv[])
{
    return runRecorder(argc, argv);
}
