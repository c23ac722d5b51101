// signals.cpp - the requests to end that come as signals (SIGTERM from kill or
// a shutdown, SIGINT from Ctrl+C, SIGHUP from a closed terminal or a logout).
//
// The handler only notes the signal; the frame driver asks EndSignal() once a
// frame and ends the program the orderly way. A second signal of the same
// kind, while that is under way, ends the process at once.
#include "platform/internal.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t caught = 0;

// Notes the first signal; the handler then gives way to the default action.
extern "C" void noteSignal(int number) {
    if (caught == 0) caught = number;
}

} // namespace

// Installs the handlers.
void CatchEndSignals() {
    struct sigaction action = {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    for (int number : {SIGTERM, SIGINT, SIGHUP}) sigaction(number, &action, nullptr);
}

void ForgetEndSignal() {
    caught = 0;
}

// The signal that asked the program to end, 0 while none has.
int EndSignal() {
    return caught;
}
