// CMainFrame: the application's one main window. It owns the link (the serial
// port, the worker, the chosen port number and speed), receives everything the
// worker posts, holds the wizard's state and runs the wizard, and is the
// terminal window (log view, Communication menu, bars, command bar) when shown.
//
// Pages call the operations below through CBaseDlg::m_pFrame. All of it runs
// on the window thread; the worker reaches the frame only by posted
// WM_WORKER_NOTIFY messages. sendWorkerCommand, disconnectPort, selectPort and
// selectSpeed wait for the worker (see CTidewellThread::setCommand), and each
// cancels the running command first, so the wait lasts about one read wait of
// the worker at most.
//
// Every command given gets the next serial, and a result or progress value is
// handed on (to the active page, or to the frame's own handlers) only when it
// carries the serial of the last command given: whatever an earlier command
// posts late, after it was cancelled or replaced, is dropped. Text lines always
// go to the log; those of the last log-in command are also kept (getLoginLines),
// since they name the device and its firmware.
//
// In tests: construct with a headless Platform and a CTidewellApp built from an
// AppEnvironment (settings file, serial platform, test pages), then LoadFrame
// (resource 128), which creates the bars and runs the wizard.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tidewell/engine/worker_codes.h"
#include "tidewell/frame/command_dialog.h"
#include "tidewell/frame/worker_link.h"
#include "tidewell/ui/frame.h"
#include "tidewell/wizard/base_dlg.h"
#include "tidewell/wizard/device_step.h"
#include "tidewell/wizard/pending_backup.h"
#include "tidewell/wizard/wizard_pages.h"

namespace tidewell {

class CTidewellApp;
class CTidewellThread;
class TSerie;

inline constexpr std::uint8_t kInitialCommPort = 2;
inline constexpr std::int32_t kInitialSpeed = 115200;
// The speeds selectSpeed accepts, in menu order.
inline constexpr std::array<std::int32_t, 6> kLineSpeeds = {2400,  9600,  19200,
                                                            38400, 57600, 115200};
// Device files of the menu's Upload and Download.
inline constexpr const char* kMenuUploadFile = "main.exe";
inline constexpr const char* kMenuDownloadFile = "setting";

class CMainFrame : public ui::FrameWindow {
  public:
    CMainFrame(ui::Platform& platform, CTidewellApp& app);
    ~CMainFrame() override;  // deletes the worker, then the port

    CTidewellApp& getApp() const { return app_; }

    // The link.
    bool connectPort();  // true when connected afterwards
    void disconnectPort();
    void selectPort(std::uint8_t portNumber);  // 1..16; another number is ignored
    void selectSpeed(std::int32_t baud);       // one of kLineSpeeds; others are ignored
    bool isConnected() const { return connected; }
    std::uint8_t getCommPort() const { return commPort; }
    std::int32_t getSpeed() const { return speed; }
    // The device path of the open port; empty while disconnected.
    std::string getDevicePath() const;
    // The lines the device sent during the last log-in command given (cmdLogin).
    const std::vector<std::string>& getLoginLines() const { return loginLines_; }
    // Cancels what the worker runs, then gives it code with the next serial.
    // False (nothing stored) without a worker.
    bool sendWorkerCommand(std::int32_t code);
    // The serial of the last command given, as the notifications carry it.
    std::uint16_t getCommandSerial() const { return commandSerial_; }
    // The last command given, cmdNone (0) without a worker.
    std::int32_t getWorkerCommand() const;

    // Transfers between transferFile and a device file. Refused silently when
    // deviceFile or transferFile is empty, when not connected, or while a
    // detection or log-in runs; a line the worker refuses shows string 136/137.
    void startUpload(const std::string& deviceFile);
    void startDownload(const std::string& deviceFile);
    bool setTransferFile(const std::string& path);  // always true
    // A backup's partial file given up by its page while the command that writes it
    // may still run: removed at once, and once more when that command has ended (its
    // result came, a later command was given, or the worker is gone), since a command
    // that had not opened it yet creates it again.
    void discardAfterCommand(PendingBackup backup);
    const std::string& getTransferFile() const { return transferFile; }
    // True when transferFile opens for reading as a regular file; never waits.
    bool canOpenTransferFile() const;

    // The wizard's state.
    CDeviceStepList& getOperations() { return operations; }
    std::int32_t getCurrentStepType() const;
    std::int32_t getProgressMode() const { return progressMode; }
    std::int32_t getFileSelectionMode() const { return fileSelectionMode; }
    std::uint8_t getStepPosition() const { return stepPosition; }
    CBaseDlg* getActivePage() const { return activePage; }
    // Runs the wizard to its end (a page's Exit, or a page that cannot be created).
    void runWizard();
    // The page now shown, when it ends with Back, leads to the first page of stepType
    // instead of the page before it (a lost device goes back to the port page).
    void setBackTarget(std::int32_t stepType) { backTarget_ = stepType; }
    // Replaces the page factory taken from the application (tests).
    void setPageFactory(WizardPageFactory factory) { pageFactory_ = std::move(factory); }

    // Appends one line (without line end) to the log; the view follows the end.
    void appendLine(std::string_view text);
    ui::LogView& getLogView() { return logView; }

    // Communication commands.
    void OnDetect();
    void OnTerminal();
    void OnUpload();      // startUpload(kMenuUploadFile)
    void OnDownload();    // startDownload(kMenuDownloadFile)
    void OnSendButton();  // command 1009 of the command bar

    // The "&Terminal window" item of the wizard pages: turns the application's
    // showTerminal on and shows the frame; it then stays open after the wizard.
    void showTerminalWindow();

    CCommandDialog& getCommandBar() { return commandBar; }
    ui::ToolBar& getToolBar() { return toolBar; }
    ui::StatusBar& getStatusBar() { return statusBar; }
    // The running worker (null while disconnected); for tests and diagnostics.
    CTidewellThread* getWorker() const { return worker.get(); }

  protected:
    // Log view, bars, operation plan, port number from the settings, then the wizard.
    int OnCreate() override;
    void OnDestroy() override;

    virtual void onWorkerResult(std::int32_t code);
    virtual void onWorkerText(const std::string& text);
    virtual void onWorkerProgress(std::int32_t percent);

    ui::LRESULT OnWorkerNotify(ui::WPARAM wParam, ui::LPARAM value);
    // Closes the frame (the program ends) unless it is the visible terminal window.
    virtual ui::LRESULT OnWizardExit(ui::WPARAM wParam, ui::LPARAM lParam);

  private:
    void startWorker();
    void startTransfer(const std::string& deviceFile, bool upload);
    // Removes the given-up partial files of the command with serial, or of every
    // command when it is empty.
    void releaseBackups(std::optional<std::uint16_t> serial);
    void mapCommands();
    bool createBars();
    CBaseDlg* pageFor(WizardPages& pages, std::int32_t stepType);

    CTidewellApp& app_;
    bool connected = false;
    std::uint8_t commPort = kInitialCommPort;
    std::int32_t speed = kInitialSpeed;
    // The worker reads the port through this field: set before a worker starts,
    // changed only while no worker exists.
    TSerie* serialPort = nullptr;
    std::unique_ptr<TSerie> ownedPort_;
    std::unique_ptr<CTidewellThread> worker;
    std::int32_t workerCommand = cmdIdle;
    std::uint16_t commandSerial_ = 0;  // not reset with a new worker: its serials go on
    std::string transferFile;
    std::list<std::pair<std::uint16_t, std::filesystem::path>> givenUpBackups_;  // by serial
    std::vector<std::string> loginLines_;

    std::array<std::int32_t, kStepCount> stepSequence{};
    std::uint8_t stepPosition = 0;
    std::optional<std::int32_t> backTarget_;
    CBaseDlg* activePage = nullptr;
    CDeviceStepList operations;
    std::int32_t progressMode = 0;
    std::int32_t fileSelectionMode = 0;
    WizardPageFactory pageFactory_;
    bool wizardRunning_ = false;
    bool exitPending_ = false;        // an exit message that arrived while the wizard ran
    bool lastRunLeftByUser_ = false;  // the last run ended with a page's Exit

    ui::StatusBar statusBar;
    ui::ToolBar toolBar;
    CCommandDialog commandBar;
    ui::LogView logView;
    PostTarget postTarget_;
};

}  // namespace tidewell
