// What a waiting thread waits on: a descriptor for poll() on Linux, an event handle for
// WaitForMultipleObjects() on Windows.
#pragma once

namespace tidewell {

#ifdef _WIN32
using WaitHandle = void*;
#else
using WaitHandle = int;
#endif

}  // namespace tidewell
