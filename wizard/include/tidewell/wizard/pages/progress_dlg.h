// CProgressDlg: the progress page (template 105), shown twice per pass: in mode 1
// it runs the selected backups, in mode 2 the update and the restores, one after
// the other, with one progress bar over the whole run.
//
// A backup is received into a hidden partial file in the remembered folder of its
// kind (SettingPath, PlaylistPath) and takes its numbered name only when the
// transfer succeeded; a failed transfer, or leaving the page before the end,
// removes it (and once more when that transfer has stopped, in case it had not
// opened the file yet), so no truncated file ever looks like a backup, and none is
// left. Each backup kept gets its record beside it (NAME.bak.json: size, SHA-256,
// time, port, log-in lines); a record that cannot be written is told in the log and
// the run goes on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "tidewell/plan/pending_backup.h"
#include "tidewell/wizard/base_dlg.h"
#include "tidewell/wizard/color_static.h"

namespace tidewell {

class CProgressDlg : public CBaseDlg {
  public:
    static constexpr int kBarRange = 100;

    explicit CProgressDlg(WizardHost* parent);

    // Moves the plan's cursor to the next selected step of the page's direction.
    bool nextMatchingStep();
    // Starts the transfer of the step under the cursor.
    void startTransfer();

    void onResult(std::int32_t code) override;
    // percent is that of the running transfer; values above 100 count as 100.
    void onProgress(std::int32_t percent) override;

    std::uint8_t stepTotal() const { return m_stepTotal; }
    std::uint8_t stepsDone() const { return m_stepsDone; }

  protected:
    void DoDataExchange() override;
    bool OnInitDialog() override;
    void OnDestroy() override;

  private:
    void startBackup(const char* baseName, const char* numberedPattern, const std::string& folder,
                     const std::string& deviceFile);
    // A transfer ended without success: the status says why, the run stops.
    void stopRun(const std::string& status);
    // The received backup takes its name; false (run stopped) when it cannot.
    bool keepBackup();
    void writeRecord(const std::filesystem::path& backup);

    CColorStatic m_title;
    ui::Control* m_status = nullptr;
    ui::Control* m_progress = nullptr;
    ui::Control* m_reason = nullptr;
    std::uint8_t m_stepTotal = 0;
    std::uint8_t m_stepsDone = 0;
    // A transfer of this visit is under way (results of other ones are ignored).
    bool running_ = false;
    std::optional<PendingBackup> backup_;
    std::string backupDeviceFile_;
};

}  // namespace tidewell
