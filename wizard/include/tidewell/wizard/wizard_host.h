// WizardHost: what the wizard's pages ask of the window that runs them (the main
// frame): the link, the worker's commands and transfers, the operation plan and the
// wizard's state, the settings, the log and the terminal window. A page holds it as
// CBaseDlg::m_pFrame; the frame implements it, so no page needs the frame's header.
//
// Everything here runs on the window thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tidewell/plan/device_step.h"
#include "tidewell/plan/pending_backup.h"

namespace tidewell {

namespace ui {
class Window;
}
class CBaseDlg;
class CTidewellThread;
class TidewellSettings;

class WizardHost {
  public:
    // The window the pages belong to and post WM_WIZARD_EXIT to.
    virtual ui::Window& hostWindow() = 0;
    // The settings of the section "Tidewell" (and [Ports]).
    virtual TidewellSettings& getSettings() = 0;

    // The link.
    virtual bool connectPort() = 0;  // true when connected afterwards
    virtual void disconnectPort() = 0;
    virtual void selectPort(std::uint8_t portNumber) = 0;  // 1..16
    virtual bool isConnected() const = 0;
    virtual std::uint8_t getCommPort() const = 0;
    // The device path of the open port; empty while disconnected.
    virtual std::string getDevicePath() const = 0;
    // The lines the device sent during the last log-in command given.
    virtual const std::vector<std::string>& getLoginLines() const = 0;

    // The worker. Cancels what it runs, then gives it code; false without a worker.
    virtual bool sendWorkerCommand(std::int32_t code) = 0;
    // The last command given, cmdNone (0) without a worker.
    virtual std::int32_t getWorkerCommand() const = 0;
    // The running worker (null while disconnected): why its last command failed.
    virtual CTidewellThread* getWorker() const = 0;

    // Transfers between the transfer file and a device file.
    virtual bool setTransferFile(const std::string& path) = 0;
    // True when the transfer file opens for reading as a regular file; never waits.
    virtual bool canOpenTransferFile() const = 0;
    virtual void startUpload(const std::string& deviceFile) = 0;
    virtual void startDownload(const std::string& deviceFile) = 0;
    // While a transfer runs, asks (owner's box) whether to stop it; true when none runs
    // any more.
    virtual bool confirmStopTransfer(ui::Window& owner) = 0;
    // A backup's partial file given up while the command writing it may still run.
    virtual void discardAfterCommand(PendingBackup backup) = 0;

    // The wizard's state.
    virtual CDeviceStepList& getOperations() = 0;
    virtual std::int32_t getCurrentStepType() const = 0;
    virtual std::int32_t getProgressMode() const = 0;       // a TransferDirection
    virtual std::int32_t getFileSelectionMode() const = 0;  // an OperationCode
    virtual CBaseDlg* getActivePage() const = 0;
    // The page now shown, when it ends with Back, leads to the first page of stepType.
    virtual void setBackTarget(std::int32_t stepType) = 0;

    // Appends one line (without line end) to the log.
    virtual void appendLine(std::string_view text) = 0;
    // Shows the terminal window, which then keeps the wizard's place until closed.
    virtual void showTerminalWindow() = 0;
    virtual bool isTerminalInFront() const = 0;

  protected:
    ~WizardHost() = default;
};

}  // namespace tidewell
