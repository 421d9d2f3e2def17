// The program's handler of the termination signals (SIGTERM, SIGINT,
// SIGHUP), kept in place against libraries that install their own.
#pragma once

namespace dv {

using TTerminationHandler = void (*)(int signal);

// Installs `handler` for the three termination signals and remembers it.
void SetTerminationHandler(TTerminationHandler handler);

// Puts the remembered handler back (nothing when none was set). The database
// client library installs handlers of its own at its first attachment; on a
// signal they start the library's shutdown on a thread of its own, which
// races with the program's own orderly detach and exit, so every attachment
// calls this afterwards.
void ReclaimTerminationSignals();

// Hands the termination signals to an event loop: the handler installed here
// only writes the signal's number to a socket, whose reading end comes back
// for the loop to watch (-1 when no socket could be made; the signals then
// keep their default action). TakeTerminationSignal reads one number from
// it, 0 when none was there.
int RouteTerminationSignals();
int TakeTerminationSignal();

}  // namespace dv
