#include "sync_folder.h"
#include "tidewell/fsutil/temporary_file.h"

namespace tidewell::fsutil {

std::optional<WriteFailure> writeFileAtomically(const std::filesystem::path& target,
                                                std::string_view text, mode_t mode) {
    const std::filesystem::path folder =
        target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
    // A leading dot keeps the temporary out of listings of the folder.
    TemporaryFile temporary(folder, "." + target.filename().string() + ".");
    const auto fail = [&](WriteStep step, int error) {
        return WriteFailure{step, error, temporary.path()};
    };
    if (const int error = temporary.creationError()) return fail(WriteStep::createTemporary, error);
    if (const int error = temporary.writeAll(text)) return fail(WriteStep::write, error);
    if (const int error = temporary.setMode(mode)) return fail(WriteStep::setMode, error);
    if (const int error = temporary.closeSynced()) return fail(WriteStep::write, error);
    if (const int error = temporary.renameTo(target)) return fail(WriteStep::rename, error);
    syncFolder(folder);
    return std::nullopt;
}

}  // namespace tidewell::fsutil
