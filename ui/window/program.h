// The program's start and end: the model, the live counters and the
// database-list item lists exist before the application object; then the
// main window, the only window created automatically, and the message loop.
#pragma once

namespace dv {

// Runs the program with its command line and answers its exit status: the
// message loop's result; the batch report's TBatchStatus (two parameters);
// 128 + the signal number after ending on SIGTERM, SIGINT or SIGHUP.
int ProgramMain(int argc, char** argv);

}  // namespace dv
