#include <poll.h>

#include "wait_handle_state.h"

namespace tidewell::testing {

bool isReady(WaitHandle handle) {
    pollfd p{handle, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
}

}  // namespace tidewell::testing
