// CMainFrame: the application's one main window. It owns the link (the serial
// port, the worker, the chosen port number and speed), receives everything the
// worker posts, holds the wizard's state and runs the wizard, and is the
// terminal window (log view, Communication menu, bars, command bar) when shown.
//
// Pages call the operations below through CBaseDlg::m_pFrame, as the wizard's
// host (WizardHost). All of it runs on the window thread; the worker reaches the
// frame only by posted WM_WORKER_NOTIFY messages. sendWorkerCommand, disconnectPort, selectPort and
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
// While a transfer runs, leaving (a page's Exit, Escape or close box, the
// terminal window's close box or File Exit) asks kStopTransferQuestion first;
// a request from outside to end the program (SIGTERM, SIGHUP, the end of the
// session) stops the transfer without asking.
//
// The terminal window, opened from a page, takes the wizard's place: the page
// steps aside (hidden, its modal run going on) until the window is closed. What
// the window's commands start is the window's own (results go to its log, not to
// the page); commands that would disturb a transfer the wizard runs are refused.
//
// Each connection's protocol trace goes to a new file in the folder kTraceFolder
// beside the settings file (see connection_trace.h), closed when the port closes;
// Save Trace copies the last connection's trace. A trace that cannot be made is
// said on the standard error stream and the connection goes on without one.
//
// In tests: construct with a headless Platform and a CTidewellApp built from an
// AppEnvironment (settings file, serial platform, test pages), then LoadFrame
// (resource 128), which creates the bars and runs the wizard.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tidewell/engine/worker_codes.h"
#include "tidewell/frame/command_dialog.h"
#include "tidewell/frame/connection_trace.h"
#include "tidewell/frame/frame_application.h"
#include "tidewell/frame/worker_link.h"
#include "tidewell/plan/device_step.h"
#include "tidewell/plan/pending_backup.h"
#include "tidewell/ui/frame.h"
#include "tidewell/wizard/base_dlg.h"
#include "tidewell/wizard/wizard_host.h"
#include "tidewell/wizard/wizard_pages.h"

namespace tidewell {

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
inline constexpr const char* kStopTransferQuestion = "A transfer is running. Stop it?";

class CMainFrame : public ui::FrameWindow, public WizardHost {
  public:
    CMainFrame(ui::Platform& platform, FrameApplication& app);
    ~CMainFrame() override;  // deletes the worker, then the port

    ui::Window& hostWindow() override { return *this; }
    TidewellSettings& getSettings() override;

    // The link.
    bool connectPort() override;  // true when connected afterwards
    void disconnectPort() override;
    void selectPort(std::uint8_t portNumber) override;  // 1..16; another number is ignored
    void selectSpeed(std::int32_t baud);                // one of kLineSpeeds; others are ignored
    bool isConnected() const override { return connected; }
    std::uint8_t getCommPort() const override { return commPort; }
    std::int32_t getSpeed() const { return speed; }
    // The device path of the open port; empty while disconnected.
    std::string getDevicePath() const override;
    // The lines the device sent during the last log-in command given (cmdLogin).
    const std::vector<std::string>& getLoginLines() const override { return loginLines_; }
    // Cancels what the worker runs, then gives it code with the next serial.
    // False (nothing stored) without a worker.
    bool sendWorkerCommand(std::int32_t code) override;
    // The serial of the last command given, as the notifications carry it.
    std::uint16_t getCommandSerial() const { return commandSerial_; }
    // The last command given, cmdNone (0) without a worker.
    std::int32_t getWorkerCommand() const override;

    // True while an upload or download has been given and its result has not come.
    bool isTransferRunning() const;
    // While a transfer runs, asks whether to stop it (owner's box, No the default)
    // and stops it on Yes; one whose page was left is stopped without a question.
    // True when no transfer runs any more.
    bool confirmStopTransfer(ui::Window& owner) override;
    // Ends a running transfer: cancels it, waits until its command has ended, then
    // removes any partial backup it was writing.
    void stopTransfer();

    // Transfers between transferFile and a device file. Refused silently when
    // deviceFile or transferFile is empty, when not connected, or while a
    // detection or log-in runs; a line the worker refuses shows string 136/137.
    void startUpload(const std::string& deviceFile) override;
    void startDownload(const std::string& deviceFile) override;
    bool setTransferFile(const std::string& path) override;  // always true
    // A backup's partial file given up by its page while the command that writes it
    // may still run: removed at once, and once more when that command has ended (its
    // result came, a later command was given, or the worker is gone), since a command
    // that had not opened it yet creates it again.
    void discardAfterCommand(PendingBackup backup) override;
    const std::string& getTransferFile() const { return transferFile; }
    // True when transferFile opens for reading as a regular file; never waits.
    bool canOpenTransferFile() const override;

    // The wizard's state.
    CDeviceStepList& getOperations() override { return operations; }
    std::int32_t getCurrentStepType() const override;
    std::int32_t getProgressMode() const override { return progressMode; }
    std::int32_t getFileSelectionMode() const override { return fileSelectionMode; }
    std::uint8_t getStepPosition() const { return stepPosition; }
    CBaseDlg* getActivePage() const override { return activePage; }
    // Runs the wizard to its end (a page's Exit, or a page that cannot be created).
    void runWizard();
    // The page now shown, when it ends with Back, leads to the first page of stepType
    // instead of the page before it (a lost device goes back to the port page).
    void setBackTarget(std::int32_t stepType) override { backTarget_ = stepType; }
    // Replaces the page factory taken from the application (tests).
    void setPageFactory(WizardPageFactory factory) { pageFactory_ = std::move(factory); }

    // Appends one line (without line end) to the log; the view follows the end.
    void appendLine(std::string_view text) override;
    ui::LogView& getLogView() { return logView; }

    // Communication commands.
    void OnDetect();
    void OnTerminal();
    // Asks which file to send, then confirms sending it as kMenuUploadFile.
    void OnUpload();
    // Asks where to save kMenuDownloadFile (a new numbered backup name in the
    // setting backups' folder is proposed); the file is received aside and takes
    // that name, with its record, only when complete.
    void OnDownload();
    void OnSendButton();  // command 1009 of the command bar
    // Copies the last connection's trace, flushed, to a file the user chooses.
    void OnSaveTrace();
    // The last connection's trace file; empty before the first connection.
    const std::filesystem::path& getTracePath() const { return tracePath_; }

    // The "&Terminal window" item of the wizard pages: turns the application's
    // showTerminal on and shows the frame; it then stays open after the wizard.
    // The active page steps aside until the window is closed.
    void showTerminalWindow() override;
    // True while the terminal window has the wizard's place (a page stepped aside);
    // a page shown meanwhile steps aside as well.
    bool isTerminalInFront() const override { return terminalInFront_; }

    CCommandDialog& getCommandBar() { return commandBar; }
    ui::ToolBar& getToolBar() { return toolBar; }
    ui::StatusBar& getStatusBar() { return statusBar; }
    // The running worker (null while disconnected); for tests and diagnostics.
    CTidewellThread* getWorker() const override { return worker.get(); }

  protected:
    // Log view, bars, operation plan, port number from the settings, then the wizard.
    int OnCreate() override;
    void OnDestroy() override;
    // Brings the wizard back when it stepped aside; otherwise closes the frame,
    // after asking while a transfer runs.
    void OnClose() override;

    virtual void onWorkerResult(std::int32_t code);
    virtual void onWorkerText(const std::string& text);
    virtual void onWorkerProgress(std::int32_t percent);

    ui::LRESULT OnWorkerNotify(ui::WPARAM wParam, ui::LPARAM value);
    // Closes the frame (the program ends) unless it is the visible terminal window.
    virtual ui::LRESULT OnWizardExit(ui::WPARAM wParam, ui::LPARAM lParam);

  private:
    // Marks the commands given while it lives as the terminal window's own.
    class TerminalCommand {
      public:
        explicit TerminalCommand(CMainFrame& frame) : frame_(frame) {
            frame_.terminalIssuing_ = true;
        }
        ~TerminalCommand() { frame_.terminalIssuing_ = false; }
        TerminalCommand(const TerminalCommand&) = delete;
        TerminalCommand& operator=(const TerminalCommand&) = delete;

      private:
        CMainFrame& frame_;
    };

    void startWorker();
    void openTrace();
    // False when not connected or while detection or log-in runs.
    bool canStartTransfer() const;
    // True (and says so) when a terminal command would disturb the wizard's transfer.
    bool refuseWhileWizardTransfers();
    bool startTransfer(const std::string& deviceFile, bool upload, const std::string& file);
    void finishTerminalDownload(std::int32_t code);
    void onTerminationRequest();
    // Removes the given-up partial files of the command with serial, or of every
    // command when it is empty.
    void releaseBackups(std::optional<std::uint16_t> serial);
    void mapCommands();
    bool createBars();
    CBaseDlg* pageFor(WizardPages& pages, std::int32_t stepType);

    FrameApplication& app_;
    bool connected = false;
    std::uint8_t commPort = kInitialCommPort;
    std::int32_t speed = kInitialSpeed;
    // The worker reads the port through this field: set before a worker starts,
    // changed only while no worker exists.
    TSerie* serialPort = nullptr;
    std::unique_ptr<TSerie> ownedPort_;
    std::unique_ptr<ConnectionTrace> trace_;  // outlives the worker that writes it
    std::filesystem::path tracePath_;
    std::time_t traceStarted_ = 0;
    std::string tracePort_;
    std::unique_ptr<CTidewellThread> worker;
    std::int32_t workerCommand = cmdIdle;
    std::uint16_t commandSerial_ = 0;  // not reset with a new worker: its serials go on
    std::string transferFile;
    std::list<std::pair<std::uint16_t, std::filesystem::path>> givenUpBackups_;  // by serial
    std::vector<std::string> loginLines_;
    std::optional<std::uint16_t> runningTransfer_;    // serial of the transfer given last
    std::optional<std::uint16_t> abandonedTransfer_;  // one whose page was left
    bool terminalIssuing_ = false;
    bool terminalOwnsCommand_ = false;  // the last command was the terminal window's
    std::optional<PendingBackup> terminalDownload_;
    std::filesystem::path downloadTarget_;
    bool replaceDownloadTarget_ = false;  // the user confirmed that existing file
    bool terminalInFront_ = false;
    bool terminating_ = false;

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
