// A backup being received: the device's file goes into a hidden partial file in
// the backups' folder and takes its numbered backup name only once complete, so a
// failed or cancelled backup never leaves a file that looks like a backup.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tidewell {

class PendingBackup {
  public:
    // Chooses a partial file name in folder that was free (checked by creating it); the
    // transfer then creates the file exclusively. nullopt and *why when folder takes no file.
    static std::optional<PendingBackup> create(const std::filesystem::path& folder,
                                               std::string baseName, std::string numberedPattern,
                                               std::string* why = nullptr);

    PendingBackup(PendingBackup&& other) noexcept;
    PendingBackup& operator=(PendingBackup&&) = delete;
    PendingBackup(const PendingBackup&) = delete;
    ~PendingBackup();  // removes the partial file unless committed

    const std::filesystem::path& partialPath() const { return partial_; }

    // Gives the received file the first free backup name without ever replacing an
    // existing file; a name is free only when neither it nor its record (NAME.json)
    // exists. The final path, or nullopt and *why.
    std::optional<std::filesystem::path> commit(std::string* why = nullptr);
    // Gives the received file the name target, which must be in the folder it was
    // created in. An existing target is replaced (atomically, keeping its permission
    // bits) only with replaceExisting; otherwise the name is reserved exclusively
    // first and an existing file makes it fail. The final path, or nullopt and *why.
    std::optional<std::filesystem::path> commitAs(const std::filesystem::path& target,
                                                  bool replaceExisting, std::string* why = nullptr);
    // Drops the partial file.
    void discard();

  private:
    PendingBackup(std::filesystem::path folder, std::string baseName, std::string pattern,
                  std::filesystem::path partial);

    std::filesystem::path folder_;
    std::string baseName_;
    std::string pattern_;
    std::filesystem::path partial_;
};

}  // namespace tidewell
