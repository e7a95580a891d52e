// Whether a local file chosen for sending can be read: it must be a regular file
// (a symbolic link to one counts) that opens for reading. The check never waits:
// a FIFO, a device or a socket under the name is refused at once, so that
// nothing on the window thread can block on a peer that never comes.
#pragma once

#include <string>

namespace tidewell {

bool opensAsRegularFile(const std::string& path);

}  // namespace tidewell
