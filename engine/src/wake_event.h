// What a PortSession's waits are made of, one file per platform: an event that one thread
// sets and another waits for (an eventfd on Linux, a manual-reset event on Windows), and
// the wait for several of them beside the caller's input.
#pragma once

#include <span>

#include "tidewell/engine/wait_handle.h"

namespace tidewell::wake {

WaitHandle make();  // throws std::system_error
void close(WaitHandle event);
void set(WaitHandle event);
// Clears the event; whether it was set.
bool clear(WaitHandle event);

// Which became ready within timeoutMs: the index of the first of events, events.size() for
// the input descriptor (none when < 0), or -1 when none did or a signal broke the wait.
// Throws std::system_error.
int waitForAny(std::span<const WaitHandle> events, int inputFd, int timeoutMs);

}  // namespace tidewell::wake
