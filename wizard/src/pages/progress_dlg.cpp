#include "tidewell/wizard/pages/progress_dlg.h"

#include <algorithm>
#include <string>

#include "tidewell/engine/tidewell_thread.h"
#include "tidewell/engine/worker_codes.h"
#include "tidewell/records/backup_record.h"
#include "tidewell/resources/ids.h"
#include "tidewell/settings/settings.h"
#include "tidewell/ui/text.h"

namespace tidewell {

namespace {

constexpr const char* kFirmwareDeviceFile = "flashimage";
constexpr const char* kSettingDeviceFile = "setting";
constexpr const char* kPlaylistDeviceFile = "playlist";
constexpr const char* kSettingBackup = "setting.bak";
constexpr const char* kSettingBackupNumbered = "setting_%d.bak";
constexpr const char* kPlaylistBackup = "playlist.bak";
constexpr const char* kPlaylistBackupNumbered = "playlist_%d.bak";
constexpr std::int32_t kFullPercent = 100;

// Status string of a transfer result other than success.
int failureText(std::int32_t code) {
    switch (code) {
        case resOpenError:
            return res::IDS_CANT_OPEN_FILE;
        case resWriteError:
            return res::IDS_CANT_WRITE_FILE;
        case resTooManyRetries:
            return res::IDS_TOO_MANY_RETRY;
        case resTransferError:
            return res::IDS_TRANSFER_ERROR;
        case resRemoteCancel:
            return res::IDS_TRANSFER_CANCELLED;
        case resNoRemote:
            return res::IDS_NO_REMOTE;
        default:
            return res::IDS_UNEXPECTED_RESULT;
    }
}

}  // namespace

CProgressDlg::CProgressDlg(WizardHost* parent) : CBaseDlg(res::IDD_PROGRESS, parent) {}

void CProgressDlg::DoDataExchange() {
    CBaseDlg::DoDataExchange();
    m_title.bind(GetDlgItem(res::IDC_TITLE));
    m_status = &GetDlgItem(res::IDC_STATUS);
    m_progress = &GetDlgItem(res::IDC_PROGRESS);
    m_reason = &GetDlgItem(res::IDC_REASON);
}

bool CProgressDlg::OnInitDialog() {
    CBaseDlg::OnInitDialog();
    m_title.SetWindowText(LoadString(m_pFrame->getProgressMode() == dirFromDevice
                                         ? res::IDS_TITLE_BACKUP
                                         : res::IDS_TITLE_UPDATE));
    m_progress->SetRange(0, kBarRange);
    m_progress->SetPos(0);
    m_reason->SetWindowText("");

    running_ = false;
    backup_.reset();
    m_stepTotal = 0;
    m_stepsDone = 0;
    CDeviceStepList& plan = m_pFrame->getOperations();
    plan.resetCursor();
    while (nextMatchingStep()) {
        ++m_stepTotal;
    }
    if (m_stepTotal == 0) {
        OnOK();
        return true;
    }
    plan.resetCursor();
    nextMatchingStep();
    startTransfer();
    return true;
}

void CProgressDlg::OnDestroy() {
    // Left before the end: whatever was received is no backup. The transfer may
    // still run and create its file again, so the frame removes it once more later.
    if (running_ && backup_) {
        m_pFrame->discardAfterCommand(std::move(*backup_));
    }
    running_ = false;
    backup_.reset();
    CBaseDlg::OnDestroy();
}

bool CProgressDlg::nextMatchingStep() {
    CDeviceStepList& plan = m_pFrame->getOperations();
    const std::int32_t mode = m_pFrame->getProgressMode();
    while (plan.moveNext()) {
        if (plan.getCurrent()->getDirection() == mode) {
            return true;
        }
    }
    return false;
}

void CProgressDlg::startTransfer() {
    CDeviceStep* step = m_pFrame->getOperations().getCurrent();
    if (step == nullptr) {
        return;
    }
    TidewellSettings& settings = m_pFrame->getSettings();
    switch (step->getOperation()) {
        case opUpdateFirmware:
            m_pFrame->setTransferFile(step->getLocalFile());
            running_ = true;
            m_pFrame->startUpload(kFirmwareDeviceFile);
            break;
        case opBackupSetting:
            startBackup(kSettingBackup, kSettingBackupNumbered, settings.getSettingPath(),
                        step->getDeviceFile());
            break;
        case opRestoreSetting:
            m_pFrame->setTransferFile(step->getLocalFile());
            running_ = true;
            m_pFrame->startUpload(kSettingDeviceFile);
            break;
        case opBackupPlaylist:
            startBackup(kPlaylistBackup, kPlaylistBackupNumbered, settings.getPlaylistPath(),
                        step->getDeviceFile());
            break;
        case opRestorePlaylist:
            m_pFrame->setTransferFile(step->getLocalFile());
            running_ = true;
            m_pFrame->startUpload(kPlaylistDeviceFile);
            break;
        default:
            break;
    }
}

void CProgressDlg::startBackup(const char* baseName, const char* numberedPattern,
                               const std::string& folder, const std::string& deviceFile) {
    std::string why;
    auto created = PendingBackup::create(folder, baseName, numberedPattern, &why);
    if (!created) {
        // What the worker would report for a file it cannot create.
        m_pFrame->appendLine(why);
        stopRun(LoadString(res::IDS_CANT_OPEN_FILE));
        return;
    }
    backup_.reset();
    backup_.emplace(std::move(*created));
    backupDeviceFile_ = deviceFile;
    m_pFrame->setTransferFile(backup_->partialPath().string());
    running_ = true;
    m_pFrame->startDownload(deviceFile);
}

void CProgressDlg::stopRun(const std::string& status) {
    running_ = false;
    backup_.reset();
    m_status->SetWindowText(status);
}

bool CProgressDlg::keepBackup() {
    if (!backup_) {
        return true;
    }
    std::string why;
    const auto saved = backup_->commit(&why);
    backup_.reset();
    if (!saved) {
        m_pFrame->appendLine(why);
        stopRun(LoadString(res::IDS_CANT_WRITE_FILE));
        return false;
    }
    writeRecord(*saved);
    return true;
}

void CProgressDlg::writeRecord(const std::filesystem::path& backup) {
    const BackupOrigin origin{backupDeviceFile_, ui::stringPrintf("COM%d", m_pFrame->getCommPort()),
                              m_pFrame->getDevicePath(), m_pFrame->getLoginLines()};
    std::string why;
    if (!writeBackupRecord(backup, origin, &why)) {
        // The backup is whole and stays; only the proof beside it is missing.
        m_pFrame->appendLine("No record written for " + backup.string() + ": " + why);
    }
}

void CProgressDlg::onResult(std::int32_t code) {
    const std::int32_t command = m_pFrame->getWorkerCommand();
    if (command == cmdLoggedIn) {
        m_pFrame->sendWorkerCommand(cmdUpload);
        return;
    }
    if (command != cmdUpload && command != cmdDownload) {
        m_status->SetWindowText(ui::formatMessage(LoadString(res::IDS_UNEXPECTED_STATE), command));
        m_pFrame->sendWorkerCommand(cmdNone);
        return;
    }
    if (!running_) {
        return;  // completed, failed, or a transfer this visit did not start
    }
    if (code != resTransferOk) {
        if (const CTidewellThread* worker = m_pFrame->getWorker()) {
            m_reason->SetWindowText(worker->failureReason());
            if (!worker->linkError().empty()) {
                // This port is gone for good: only reconnecting can help.
                m_pFrame->setBackTarget(stepSelectPort);
            }
        }
        stopRun(ui::formatMessage(LoadString(failureText(code)), code));
        return;
    }
    if (!keepBackup()) {
        return;
    }
    nextMatchingStep();
    m_progress->SetPos((m_stepsDone + 1) * kBarRange / m_stepTotal);
    ++m_stepsDone;
    if (m_stepsDone < m_stepTotal) {
        startTransfer();
        return;
    }
    running_ = false;
    m_status->SetWindowText(LoadString(res::IDS_TRANSFER_COMPLETED));
    m_next->EnableWindow(true);
    MessageBeep(ui::MB_SIMPLEBEEP);
}

void CProgressDlg::onProgress(std::int32_t percent) {
    if (!running_ || m_stepTotal == 0) {
        return;
    }
    // Padding and downloads beyond 128 KiB report more than 100: keep the bar and
    // the text inside the running transfer's share.
    percent = std::clamp(percent, 0, kFullPercent);
    const int share = kBarRange / m_stepTotal;
    const int position = m_stepsDone * share + share * percent / kFullPercent;
    m_progress->SetPos(position);
    m_status->SetWindowText(ui::formatMessage(LoadString(res::IDS_TRANSFER_PROGRESS), position));
}

}  // namespace tidewell
