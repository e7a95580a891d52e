// CFileSelectionDlg: the file selection page (template 102) for the firmware
// package (mode 1), the setting backup (mode 3) or the playlist backup (mode 5)
// to send. It offers the remembered file, lets the user browse for another, and
// goes on only with a file that opens for reading.
#pragma once

#include <string>

#include "tidewell/wizard/base_dlg.h"
#include "tidewell/wizard/color_static.h"

namespace tidewell {

class CDeviceStep;

class CFileSelectionDlg : public CBaseDlg {
  public:
    static constexpr const char* kFirmwareFilter = "Firmware files (*.pkg)|*.pkg|";
    static constexpr const char* kBackupFilter = "Backup files (*.bak)|*.bak|";

    explicit CFileSelectionDlg(WizardHost* parent);

    void OnBrowseButton();

    // Where the firmware browse starts for a stored firmware path: a folder gives
    // "folder/*.pkg"; a package file gives the file itself (its folder, the file
    // preselected); a missing file gives "its folder/*.pkg" when that folder exists.
    static std::string firmwareBrowseStart(const std::string& storedPath);
    // The folder of a chosen backup: the parent folder of fullPath ("/" for a
    // file directly in "/").
    static std::string backupFolder(const std::string& fullPath);
    // True when path opens for reading as a regular file; never waits (a FIFO,
    // a device or a folder does not count).
    static bool canOpenForReading(const std::string& path);

  protected:
    void DoDataExchange() override;
    bool OnInitDialog() override;
    void OnOK() override;

  private:
    void showFile(CDeviceStep& step, const std::string& path);
    void refuse(int stringId);

    CColorStatic m_title;
    ui::Control* m_fileBox = nullptr;
};

}  // namespace tidewell
