#include "tidewell/wizard/pages/file_selection_dlg.h"

#include <filesystem>

#include "tidewell/plan/regular_file.h"
#include "tidewell/resources/ids.h"
#include "tidewell/settings/settings.h"
#include "tidewell/ui/dialog.h"

namespace tidewell {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPackagePattern = "*.pkg";
constexpr const char* kSettingPattern = "setting*.bak";
constexpr const char* kPlaylistPattern = "playlist*.bak";

std::string inFolder(const std::string& folder, const std::string& name) {
    return folder + "/" + name;
}

}  // namespace

CFileSelectionDlg::CFileSelectionDlg(WizardHost* parent)
    : CBaseDlg(res::IDD_FILE_SELECTION, parent) {
    mapCommand(res::IDC_BROWSE, [this] { OnBrowseButton(); });
}

std::string CFileSelectionDlg::firmwareBrowseStart(const std::string& storedPath) {
    const fs::path path(storedPath);
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        return inFolder(storedPath, kPackagePattern);
    }
    if (fs::is_regular_file(path, ec)) {
        return storedPath;
    }
    if (path.has_parent_path() && fs::is_directory(path.parent_path(), ec)) {
        return inFolder(path.parent_path().string(), kPackagePattern);
    }
    return inFolder(storedPath, kPackagePattern);
}

std::string CFileSelectionDlg::backupFolder(const std::string& fullPath) {
    // The parent, not the text before the name's first occurrence: a folder may
    // begin with the name ("/d/setting.bak-old/setting.bak").
    return fs::path(fullPath).parent_path().string();
}

bool CFileSelectionDlg::canOpenForReading(const std::string& path) {
    return opensAsRegularFile(path);
}

void CFileSelectionDlg::DoDataExchange() {
    CBaseDlg::DoDataExchange();
    m_title.bind(GetDlgItem(res::IDC_TITLE));
    m_fileBox = &GetDlgItem(res::IDC_FILE_BOX);
}

bool CFileSelectionDlg::OnInitDialog() {
    CBaseDlg::OnInitDialog();

    CDeviceStepList& plan = m_pFrame->getOperations();
    const std::int32_t wanted = m_pFrame->getFileSelectionMode();
    CDeviceStep* step = nullptr;
    plan.resetCursor();
    while (plan.moveNext()) {
        if (plan.getCurrent()->getOperation() == wanted) {
            step = plan.getCurrent();
            break;
        }
    }
    if (step == nullptr) {
        ui::Dialog::OnOK();  // nothing to choose: on as if Next was pressed
        return true;
    }

    const TidewellSettings& settings = m_pFrame->getSettings();
    std::string offered;
    switch (step->getOperation()) {
        case opUpdateFirmware:
            m_title.SetWindowText(LoadString(res::IDS_TITLE_FIRMWARE));
            offered = settings.getFirmwarePath();
            break;
        case opRestoreSetting:
            m_title.SetWindowText(LoadString(res::IDS_TITLE_SETTING));
            offered = inFolder(settings.getSettingPath(), settings.getSettingFile());
            break;
        case opRestorePlaylist:
            m_title.SetWindowText(LoadString(res::IDS_TITLE_PLAYLIST));
            offered = inFolder(settings.getPlaylistPath(), settings.getPlaylistFile());
            break;
        default:
            return true;
    }
    showFile(*step, offered);
    m_next->EnableWindow(true);
    return true;
}

void CFileSelectionDlg::showFile(CDeviceStep& step, const std::string& path) {
    step.setLocalFile(path);
    m_pFrame->setTransferFile(path);
    m_fileBox->SetWindowText(path);
}

void CFileSelectionDlg::refuse(int stringId) {
    m_next->EnableWindow(false);
    MessageBox(LoadString(stringId));
}

void CFileSelectionDlg::OnBrowseButton() {
    CDeviceStep* step = m_pFrame->getOperations().getCurrent();
    if (step == nullptr) {
        return;
    }
    TidewellSettings& settings = m_pFrame->getSettings();
    const std::int32_t operation = step->getOperation();
    std::string start;
    const char* filter = kBackupFilter;
    switch (operation) {
        case opUpdateFirmware:
            start = firmwareBrowseStart(settings.getFirmwarePath());
            filter = kFirmwareFilter;
            break;
        case opRestoreSetting:
            start = inFolder(settings.getSettingPath(), kSettingPattern);
            break;
        case opRestorePlaylist:
            start = inFolder(settings.getPlaylistPath(), kPlaylistPattern);
            break;
        default:
            return;
    }

    ui::FileDialog dialog(GetPlatform(), true, "", start, 0, filter, nullptr);
    if (dialog.DoModal() != ui::IDOK) {
        return;
    }
    const std::string path = dialog.GetPathName();
    showFile(*step, path);
    const bool opened = canOpenForReading(path);

    if (operation == opUpdateFirmware) {
        if (!opened) {
            refuse(res::IDS_CANT_OPEN_FILE);
        } else if (!m_pFrame->canOpenTransferFile()) {
            refuse(res::IDS_FIRMWARE_NOT_VALID);
        } else {
            settings.setFirmwarePath(path);
            m_next->EnableWindow(true);
        }
        return;
    }
    if (!opened) {
        refuse(res::IDS_CANT_OPEN_FILE);
        return;
    }
    const std::string name = dialog.GetFileName();
    const std::string folder = backupFolder(path);
    if (operation == opRestoreSetting) {
        settings.setSettingPath(folder);
        settings.setSettingFile(name);
    } else {
        settings.setPlaylistPath(folder);
        settings.setPlaylistFile(name);
    }
    m_next->EnableWindow(true);
}

void CFileSelectionDlg::OnOK() {
    CDeviceStep* step = m_pFrame->getOperations().getCurrent();
    if (step == nullptr) {
        return;
    }
    if (!canOpenForReading(step->getLocalFile())) {
        refuse(res::IDS_CANT_OPEN_FILE);
        return;
    }
    if (step->getOperation() == opUpdateFirmware && !m_pFrame->canOpenTransferFile()) {
        refuse(res::IDS_FIRMWARE_NOT_VALID);
        return;
    }
    ui::Dialog::OnOK();
}

}  // namespace tidewell
