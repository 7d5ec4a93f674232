#pragma once

#include <functional>

class RecorderLink;
struct RecorderLinkParts;

// The live line goes to standard error, and only when that is a terminal:
// never into a pipe or a file. Not either when the rows themselves go to
// the same terminal (no --output), where it would break into them.
bool liveLineWanted(bool quiet, bool stderrIsTerminal, bool rowsToStdout, bool stdoutIsTerminal);

// halvern-record: reads the options, opens the link and the output, records
// until the replay has played, the record limit is reached, the link goes
// away or falls silent, or SIGINT/SIGTERM/SIGHUP comes; returns the exit
// status. `parts` lets a test give the links its own system layer.
int runRecorder(int argc, char *argv[], const std::function<void(RecorderLinkParts &)> &parts = {});
