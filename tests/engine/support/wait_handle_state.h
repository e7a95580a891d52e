// Whether a WaitHandle is ready now, without waiting: the state a waiting thread would see.
#pragma once

#include "tidewell/engine/wait_handle.h"

namespace tidewell::testing {

// Readable descriptor (Linux), signalled event (Windows).
bool isReady(WaitHandle handle);

}  // namespace tidewell::testing
