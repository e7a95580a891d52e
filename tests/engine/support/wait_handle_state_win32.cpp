#include <windows.h>

#include "wait_handle_state.h"

namespace tidewell::testing {

bool isReady(WaitHandle handle) {
    return ::WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
}

}  // namespace tidewell::testing
