// The file operations that turn a received partial file into a named backup, per platform.
#pragma once

#include <sys/types.h>

#include <filesystem>

namespace tidewell::detail {

// Creates target, empty, only when no file has that name; 0 or errno. *mode receives
// the mode a new file of the user's gets there.
int reserveName(const std::filesystem::path& target, mode_t* mode);
// Gives file the permission bits of mode (nothing to do where files have none).
void giveMode(const std::filesystem::path& file, mode_t mode);
// Moves from over to, replacing what is there; 0 or errno.
int moveOver(const std::filesystem::path& from, const std::filesystem::path& to);
void removeFile(const std::filesystem::path& file);
// What is at path, links not followed: 0 with *mode set, or errno.
int typeOf(const std::filesystem::path& path, mode_t* mode);
bool isRegular(mode_t mode);

}  // namespace tidewell::detail
