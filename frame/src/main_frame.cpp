#include "tidewell/frame/main_frame.h"

#include <algorithm>
#include <ctime>
#include <iostream>

#include "tidewell/engine/tidewell_thread.h"
#include "tidewell/engine/transfer_watch.h"
#include "tidewell/plan/regular_file.h"
#include "tidewell/records/backup_record.h"
#include "tidewell/resources/ids.h"
#include "tidewell/serial/ports.h"
#include "tidewell/serial/tserie.h"
#include "tidewell/ui/dialog.h"
#include "tidewell/ui/platform.h"
#include "tidewell/ui/text.h"
#include "tidewell/version.h"

namespace tidewell {
namespace {

constexpr ui::UINT kLogStyle = ui::WS_CHILD | ui::WS_VISIBLE | ui::WS_VSCROLL | ui::ES_MULTILINE |
                               ui::ES_AUTOVSCROLL | ui::ES_WANTRETURN;
constexpr ui::UINT kToolBarStyle = ui::WS_CHILD | ui::WS_VISIBLE | ui::CBRS_TOP | ui::CBRS_GRIPPER |
                                   ui::CBRS_TOOLTIPS | ui::CBRS_FLYBY | ui::CBRS_SIZE_DYNAMIC;
constexpr ui::UINT kCommandBarStyle = ui::CBRS_BOTTOM | ui::CBRS_TOOLTIPS | ui::CBRS_FLYBY;
constexpr int kIndicators[] = {ui::ID_SEPARATOR, ui::ID_INDICATOR_CAPS, ui::ID_INDICATOR_NUM,
                               ui::ID_INDICATOR_SCRL};

// Log lines of the link and of the worker's results.
constexpr const char* kUnableToConnect = "Unable to connect to communication port %d";
constexpr const char* kConnected = "Success connecting to COM%d at %d bauds.";
constexpr const char* kDisconnected = "Communication port disconnected.";
constexpr const char* kUploading = "Uploading...";
constexpr const char* kDownloading = "Downloading...";
constexpr const char* kDetecting = "Detecting device...";
constexpr const char* kTerminalMode = "Terminal mode.";
constexpr const char* kDeviceDetected = "Device Detected";
constexpr const char* kLoggingIn = "Logging...";
constexpr const char* kDetectionError = "Detection Error";
constexpr const char* kLoggedIn = "Logged in.";
constexpr const char* kLoginError = "Login Error";
constexpr const char* kProgressPrefix = "RX: ";
constexpr const char* kProgressLine = "Transfer %d %% completed.";
constexpr const char* kCommandPrefix = "CMD: ";
constexpr const char* kCantSendCommand = "Can't send command";
constexpr const char* kSendCaption = "OnSendButton()";

// The terminal window's transfers.
constexpr const char* kSettingBackup = "setting.bak";
constexpr const char* kSettingBackupNumbered = "setting_%d.bak";
constexpr const char* kBackupFilter = "Backup files (*.bak)|*.bak|All files (*)|*|";
constexpr const char* kAnyFileFilter = "All files (*)|*|";
constexpr const char* kSendQuestion = "send %s to the device as %s?";
constexpr const char* kSavedAs = "Saved as %s.";
constexpr const char* kNoRecord = "No record written for %s: %s";
constexpr const char* kWizardTransfers =
    "The wizard is running a transfer. Try again when it has ended.";
constexpr const char* kTraceFilter = "Trace files (*.txt)|*.txt|All files (*)|*|";
constexpr ui::UINT kQuestionBox = ui::MB_YESNO | ui::MB_ICONQUESTION | ui::MB_DEFBUTTON2;

// The log line of a finished transfer, for results resOpenError to resNoRemote.
const char* transferResultLine(std::int32_t code) {
    switch (code) {
        case resOpenError:
            return "Error opening file.";
        case resWriteError:
            return "Error writing in file.";
        case resTooManyRetries:
            return "Error: Too many retry.";
        case resTransferOk:
            return "Transfer finished succesfully.";
        case resTransferError:
            return "transfer error.";
        case resRemoteCancel:
            return "transfer cancelled by remote.";
        case resNoRemote:
            return "Remote transfer not detected.";
        default:
            return nullptr;
    }
}

void freeNotification(ui::WPARAM wParam, ui::LPARAM value) {
    if (notifyKind(wParam) == notifyText) {
        delete reinterpret_cast<std::string*>(value);
    }
}

}  // namespace

CMainFrame::CMainFrame(ui::Platform& platform, FrameApplication& app)
    : ui::FrameWindow(platform), app_(app), pageFactory_(app.getPageFactory()) {
    for (int i = 0; i < kStepCount; ++i) {
        stepSequence[static_cast<std::size_t>(i)] = i;
    }
    platform.setMessageDisposer(WM_WORKER_NOTIFY, &freeNotification);
    mapMessage(WM_WORKER_NOTIFY,
               [this](ui::WPARAM w, ui::LPARAM l) { return OnWorkerNotify(w, l); });
    mapMessage(WM_WIZARD_EXIT, [this](ui::WPARAM w, ui::LPARAM l) { return OnWizardExit(w, l); });
    mapCommands();
}

CMainFrame::~CMainFrame() {
    worker.reset();
    terminalDownload_.reset();
    releaseBackups(std::nullopt);
    serialPort = nullptr;
    ownedPort_.reset();
}

void CMainFrame::mapCommands() {
    mapCommand(res::IDC_SEND, [this] { OnSendButton(); });
    mapCommand(res::ID_COMM_WIZARD, [this] { runWizard(); });
    mapCommand(res::ID_COMM_CONNECT, [this] { connectPort(); });
    mapUpdateCommandUI(res::ID_COMM_CONNECT, [this](ui::CmdUI& ui) {
        ui.Enable();
        ui.SetCheck(connected ? ui::BST_CHECKED : ui::BST_UNCHECKED);
    });
    mapCommand(res::ID_COMM_DISCONNECT, [this] {
        if (!refuseWhileWizardTransfers()) {
            disconnectPort();
        }
    });
    mapUpdateCommandUI(res::ID_COMM_DISCONNECT, [this](ui::CmdUI& ui) {
        ui.Enable();
        ui.SetCheck(connected ? ui::BST_UNCHECKED : ui::BST_CHECKED);
    });
    mapCommandRange(res::ID_COMM_PORT_FIRST, res::ID_COMM_PORT_LAST, [this](int id) {
        const auto port = static_cast<std::uint8_t>(id - res::ID_COMM_PORT_FIRST + 1);
        if (port == commPort || !refuseWhileWizardTransfers()) {
            selectPort(port);
        }
    });
    mapUpdateCommandUIRange(res::ID_COMM_PORT_FIRST, res::ID_COMM_PORT_LAST, [this](ui::CmdUI& ui) {
        ui.Enable();
        const int port = ui.m_nID - res::ID_COMM_PORT_FIRST + 1;
        ui.SetCheck(port == commPort ? ui::BST_CHECKED : ui::BST_UNCHECKED);
    });
    mapCommandRange(res::ID_COMM_SPEED_2400, res::ID_COMM_SPEED_115200, [this](int id) {
        const std::int32_t baud =
            kLineSpeeds[static_cast<std::size_t>(id - res::ID_COMM_SPEED_2400)];
        if (baud == speed || !refuseWhileWizardTransfers()) {
            selectSpeed(baud);
        }
    });
    mapUpdateCommandUIRange(
        res::ID_COMM_SPEED_2400, res::ID_COMM_SPEED_115200, [this](ui::CmdUI& ui) {
            ui.Enable();
            const auto index = static_cast<std::size_t>(ui.m_nID - res::ID_COMM_SPEED_2400);
            ui.SetCheck(kLineSpeeds[index] == speed ? ui::BST_CHECKED : ui::BST_UNCHECKED);
        });
    mapCommand(res::ID_COMM_DETECT, [this] { OnDetect(); });
    mapCommand(res::ID_COMM_TERMINAL, [this] { OnTerminal(); });
    mapCommand(res::ID_COMM_UPLOAD, [this] { OnUpload(); });
    mapCommand(res::ID_COMM_DOWNLOAD, [this] { OnDownload(); });
    mapCommand(res::ID_COMM_SAVE_TRACE, [this] { OnSaveTrace(); });
    mapUpdateCommandUI(res::ID_COMM_SAVE_TRACE,
                       [this](ui::CmdUI& ui) { ui.Enable(!tracePath_.empty()); });
    // The command bar's id is not the command's, so it gets a toggle of its own.
    mapCommand(res::ID_VIEW_COMMAND_BAR,
               [this] { ShowControlBar(commandBar, !commandBar.IsWindowVisible()); });
    mapUpdateCommandUI(res::ID_VIEW_COMMAND_BAR, [this](ui::CmdUI& ui) {
        ui.Enable(commandBar.IsWindow());
        ui.SetCheck(commandBar.IsWindow() && commandBar.IsWindowVisible() ? ui::BST_CHECKED
                                                                          : ui::BST_UNCHECKED);
    });
}

// ---- window creation ----------------------------------------------------------

bool CMainFrame::createBars() {
    if (!toolBar.CreateEx(this, ui::TBSTYLE_FLAT, kToolBarStyle, ui::AFX_IDW_TOOLBAR) ||
        !toolBar.LoadToolBar(res::IDR_MAINFRAME)) {
        return false;
    }
    if (!statusBar.Create(this, ui::WS_CHILD | ui::WS_VISIBLE | ui::CBRS_BOTTOM,
                          ui::AFX_IDW_STATUS_BAR) ||
        !statusBar.SetIndicators(kIndicators)) {
        return false;
    }
    return commandBar.Create(this, kCommandBarStyle);
}

int CMainFrame::OnCreate() {
    if (!logView.Create(kLogStyle, this, ui::AFX_IDW_PANE_FIRST, ui::WS_EX_CLIENTEDGE)) {
        return -1;
    }
    if (!createBars()) {
        return -1;
    }
    setPostTarget(postTarget_, GetSafeHwnd());
    GetPlatform().setTerminationHandler([this] { onTerminationRequest(); });
    getOperations().fillOperations();
    commPort = getSettings().getCommPort();
    runWizard();
    if (!lastRunLeftByUser_ && !app_.getShowTerminal()) {
        // Nobody could see or end a hidden frame: close it as Exit would.
        std::cerr << "tidewell: the wizard stopped at step " << int{stepPosition}
                  << " without a page to show; closing\n";
        PostMessage(WM_WIZARD_EXIT);
    }
    return 0;
}

void CMainFrame::OnDestroy() {
    GetPlatform().setTerminationHandler(nullptr);
    worker.reset();
    trace_.reset();
    terminalDownload_.reset();
    releaseBackups(std::nullopt);
    serialPort = nullptr;
    ownedPort_.reset();
    connected = false;
    ui::FrameWindow::OnDestroy();
}

// ---- the link -------------------------------------------------------------------

bool CMainFrame::connectPort() {
    if (connected) {
        return true;
    }
    std::string whyNot;
    ownedPort_ =
        createSerialPort(commPort, static_cast<DWORD>(speed), app_.getSerialPlatform(), &whyNot);
    serialPort = ownedPort_.get();
    if (serialPort == nullptr) {
        appendLine(ui::stringPrintf(kUnableToConnect, int{commPort}));
        if (!whyNot.empty()) {
            appendLine(whyNot);
        }
        connected = false;
    } else {
        appendLine(ui::stringPrintf(kConnected, int{commPort},
                                    static_cast<int>(serialPort->getBaudRate())));
        startWorker();
        connected = true;
    }
    return connected;
}

void CMainFrame::startWorker() {
    worker.reset();
    if (serialPort == nullptr) {
        return;
    }
    workerCommand = cmdIdle;
    worker =
        std::make_unique<CTidewellThread>(serialPort, cmdIdle, nullptr, app_.getEngineTiming());
    openTrace();
    if (trace_) {
        worker->setTraceSink(&trace_->sink());
    }
    // Attached before it runs, so that nothing it posts is lost.
    attachWindow(*worker, postTarget_, WM_WORKER_NOTIFY);
    worker->start(true);
}

void CMainFrame::openTrace() {
    trace_.reset();
    tracePath_.clear();  // Save Trace never offers an older connection's trace as this one's
    const std::string port = ui::stringPrintf("COM%d", int{commPort});
    const std::time_t started = std::time(nullptr);
    const std::filesystem::path settingsFolder = getSettings().store().path().parent_path();
    std::string why;
    trace_ = ConnectionTrace::create(
        (settingsFolder.empty() ? std::filesystem::path(".") : settingsFolder) / kTraceFolder,
        {"tidewell", std::string(kTidewellVersion), port, getDevicePath(),
         serialPort->getBaudRate(), started},
        &why);
    if (!trace_) {
        // The log's lines are the link's; a trace is only a help for later.
        std::cerr << "tidewell: no trace of this connection: " << why << "\n";
        return;
    }
    tracePath_ = trace_->path();
    traceStarted_ = started;
    tracePort_ = port;
}

void CMainFrame::disconnectPort() {
    worker.reset();
    trace_.reset();
    terminalDownload_.reset();
    releaseBackups(std::nullopt);
    if (serialPort != nullptr) {
        serialPort = nullptr;
        ownedPort_.reset();
    }
    if (connected) {
        appendLine(kDisconnected);
        connected = false;
    }
}

void CMainFrame::selectPort(std::uint8_t portNumber) {
    if (portNumber == commPort || portNumber < kFirstComPort || portNumber > kLastComPort) {
        return;
    }
    disconnectPort();
    commPort = portNumber;
}

void CMainFrame::selectSpeed(std::int32_t baud) {
    if (baud == speed ||
        std::find(kLineSpeeds.begin(), kLineSpeeds.end(), baud) == kLineSpeeds.end()) {
        return;
    }
    disconnectPort();
    speed = baud;
}

bool CMainFrame::sendWorkerCommand(std::int32_t code) {
    if (!worker) {
        return false;
    }
    if (terminalDownload_) {
        // Replaced before its result came: what it received is no backup.
        discardAfterCommand(std::move(*terminalDownload_));
        terminalDownload_.reset();
    }
    workerCommand = code;
    terminalOwnsCommand_ = terminalIssuing_;
    if (code == cmdLogin) {
        loginLines_.clear();
    }
    // Whatever runs may run long (a transfer, detection, the terminal loop): ended
    // first, it returns within one read wait instead of holding this thread.
    worker->cancel();
    worker->setCommand(code, ++commandSerial_);
    // setCommand has waited for the lock the worker holds through a command: every
    // earlier command has returned, or will never run.
    releaseBackups(std::nullopt);
    return true;
}

std::string CMainFrame::getDevicePath() const {
    return serialPort != nullptr ? serialPort->devicePath() : std::string();
}

std::int32_t CMainFrame::getWorkerCommand() const {
    return worker ? workerCommand : static_cast<std::int32_t>(cmdNone);
}

// ---- transfers --------------------------------------------------------------------

void CMainFrame::startUpload(const std::string& deviceFile) {
    startTransfer(deviceFile, true, transferFile);
}

void CMainFrame::startDownload(const std::string& deviceFile) {
    startTransfer(deviceFile, false, transferFile);
}

bool CMainFrame::canStartTransfer() const {
    return connected && worker && workerCommand != cmdDetect && workerCommand != cmdLogin;
}

bool CMainFrame::startTransfer(const std::string& deviceFile, bool upload,
                               const std::string& file) {
    if (deviceFile.empty() || file.empty() || !canStartTransfer()) {
        return false;
    }
    worker->cancel();
    worker->setFileName(file);
    sendWorkerCommand(upload ? cmdUpload : cmdDownload);
    runningTransfer_ = commandSerial_;
    appendLine(upload ? kUploading : kDownloading);
    const std::string line =
        transferCommandLine(upload ? TransferWay::toDevice : TransferWay::fromDevice, deviceFile);
    if (!worker->queueCommandLine(line)) {
        sendWorkerCommand(cmdTerminal);
        // The page that asked is the box's owner while the frame is hidden behind it.
        ui::Window* owner = activePage != nullptr ? static_cast<ui::Window*>(activePage) : this;
        owner->MessageBox(
            LoadString(upload ? res::IDS_CANT_START_UPLOAD : res::IDS_CANT_START_DOWNLOAD));
        return false;
    }
    return true;
}

bool CMainFrame::isTransferRunning() const {
    return worker && runningTransfer_ == commandSerial_ &&
           (workerCommand == cmdUpload || workerCommand == cmdDownload);
}

bool CMainFrame::confirmStopTransfer(ui::Window& owner) {
    if (!isTransferRunning()) {
        return true;
    }
    if (abandonedTransfer_ == runningTransfer_) {
        stopTransfer();
        return true;
    }
    if (owner.MessageBox(kStopTransferQuestion, nullptr, kQuestionBox) != ui::IDYES) {
        return false;
    }
    stopTransfer();
    return true;
}

void CMainFrame::stopTransfer() {
    if (isTransferRunning()) {
        // Returns once the transfer's command has ended (the device told of the
        // cancel); its partial backup goes with it.
        sendWorkerCommand(cmdIdle);
    }
}

bool CMainFrame::refuseWhileWizardTransfers() {
    if (!isTransferRunning() || terminalOwnsCommand_) {
        return false;
    }
    MessageBox(kWizardTransfers, nullptr, ui::MB_OK | ui::MB_ICONINFORMATION);
    return true;
}

void CMainFrame::finishTerminalDownload(std::int32_t code) {
    if (!terminalDownload_) {
        return;
    }
    PendingBackup download = std::move(*terminalDownload_);
    terminalDownload_.reset();
    if (code != resTransferOk) {
        return;  // the partial file goes with download
    }
    std::string why;
    const auto saved = download.commitAs(downloadTarget_, replaceDownloadTarget_, &why);
    if (!saved) {
        appendLine(why);
        return;
    }
    appendLine(ui::stringPrintf(kSavedAs, saved->string().c_str()));
    const BackupOrigin origin{kMenuDownloadFile, ui::stringPrintf("COM%d", int{commPort}),
                              getDevicePath(), loginLines_};
    if (!writeBackupRecord(*saved, origin, &why)) {
        appendLine(ui::stringPrintf(kNoRecord, saved->string().c_str(), why.c_str()));
    }
}

void CMainFrame::discardAfterCommand(PendingBackup backup) {
    std::filesystem::path partial = backup.partialPath();
    backup.discard();  // gone at once while the transfer writes into the open file
    if (worker && !partial.empty()) {
        // A transfer that has not opened it yet would create it again: removed once more
        // when the command is over.
        givenUpBackups_.emplace_back(commandSerial_, std::move(partial));
    }
}

void CMainFrame::releaseBackups(std::optional<std::uint16_t> serial) {
    givenUpBackups_.remove_if([serial](const auto& entry) {
        if (serial && entry.first != *serial) {
            return false;
        }
        std::error_code ignored;
        std::filesystem::remove(entry.second, ignored);
        return true;
    });
}

bool CMainFrame::setTransferFile(const std::string& path) {
    transferFile = path;
    return true;
}

bool CMainFrame::canOpenTransferFile() const {
    return opensAsRegularFile(transferFile);
}

// ---- the wizard ------------------------------------------------------------------

TidewellSettings& CMainFrame::getSettings() {
    return app_.settings();
}

std::int32_t CMainFrame::getCurrentStepType() const {
    return stepSequence[std::min<std::size_t>(stepPosition, stepSequence.size() - 1)];
}

CBaseDlg* CMainFrame::pageFor(WizardPages& pages, std::int32_t stepType) {
    switch (stepType) {
        case stepSelectPort:
            return pages.portSelection.get();
        case stepDetect:
            return pages.detection.get();
        case stepChooseOperations:
            return pages.operationChoice.get();
        case stepBackupTransfers:
            progressMode = dirFromDevice;
            return pages.progress.get();
        case stepChooseFirmware:
            fileSelectionMode = opUpdateFirmware;
            return pages.fileSelection.get();
        case stepChooseSetting:
            fileSelectionMode = opRestoreSetting;
            return pages.fileSelection.get();
        case stepChoosePlaylist:
            fileSelectionMode = opRestorePlaylist;
            return pages.fileSelection.get();
        case stepUpdateTransfers:
            progressMode = dirToDevice;
            return pages.progress.get();
        default:
            return nullptr;
    }
}

void CMainFrame::runWizard() {
    if (wizardRunning_) {
        return;
    }
    wizardRunning_ = true;
    lastRunLeftByUser_ = false;
    WizardPages pages = pageFactory_ ? pageFactory_(this) : WizardPages{};
    stepPosition = 0;
    activePage = nullptr;
    while (true) {
        const std::int32_t type = getCurrentStepType();
        if (type == stepRestart) {
            const auto first = stepSequence.begin();
            const auto detection = std::find(first, first + stepRestart, stepDetect);
            if (detection == first + stepRestart) {
                break;
            }
            stepPosition = static_cast<std::uint8_t>(detection - first);
            continue;
        }
        CBaseDlg* page = pageFor(pages, type);
        backTarget_.reset();
        int result = ui::kDialogFailed;
        if (page != nullptr) {
            activePage = page;
            result = page->DoModal();
            activePage = nullptr;
            if (isTransferRunning() && !terminalOwnsCommand_) {
                // Its page is gone: nobody waits for it any more.
                abandonedTransfer_ = runningTransfer_;
            }
        }
        if (result == kPageNext) {
            ++stepPosition;
        } else if (result == kPageBack && backTarget_) {
            const auto first = stepSequence.begin();
            const auto target = std::find(first, first + stepRestart, *backTarget_);
            if (target != first + stepRestart) {
                stepPosition = static_cast<std::uint8_t>(target - first);
            }
        } else if (result == kPageBack) {
            // Back is never offered on the first page; should one come, stay there.
            if (stepPosition > 0) {
                --stepPosition;
            }
        } else {
            lastRunLeftByUser_ = result == kPageExit;
            break;
        }
    }
    pages = WizardPages{};
    wizardRunning_ = false;
    if (terminalInFront_ || (app_.getShowTerminal() && !IsWindowVisible() && IsWindow())) {
        // A window closed while the wizard had stepped aside stays open after the wizard.
        ShowWindow(ui::SW_SHOW);
    }
    terminalInFront_ = false;
    if (exitPending_) {
        exitPending_ = false;
        PostMessage(WM_WIZARD_EXIT);
    }
}

// ---- notifications -----------------------------------------------------------------

ui::LRESULT CMainFrame::OnWorkerNotify(ui::WPARAM wParam, ui::LPARAM value) {
    // Posted by a command that has since been cancelled or replaced: not an answer
    // to the command now running, so it must not be taken for one.
    const bool stale = notifySerial(wParam) != commandSerial_;
    // The terminal window's own commands are answered in its log, whichever page shows.
    CBaseDlg* page = terminalOwnsCommand_ ? nullptr : activePage;
    switch (notifyKind(wParam)) {
        case notifyText: {
            std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(value));
            if (text && !stale && workerCommand == cmdLogin) {
                keepLoginLine(loginLines_, *text);  // bounded: the device may never stop
            }
            if (text) {
                onWorkerText(*text);
            }
            break;
        }
        case notifyResult:
            // A result is the last thing a command posts: its file is closed.
            releaseBackups(notifySerial(wParam));
            if (trace_) {
                trace_->flush();  // on disk should the program end without closing it
            }
            if (stale) {
                break;
            }
            runningTransfer_.reset();
            if (page != nullptr) {
                page->onResult(static_cast<std::int32_t>(value));
            } else {
                TerminalCommand terminal(*this);
                onWorkerResult(static_cast<std::int32_t>(value));
            }
            break;
        case notifyProgress:
            if (stale) {
                break;
            }
            if (page != nullptr) {
                page->onProgress(static_cast<std::int32_t>(value));
            } else {
                onWorkerProgress(static_cast<std::int32_t>(value));
            }
            break;
        default:
            break;
    }
    return 0;
}

void CMainFrame::onWorkerText(const std::string& text) {
    appendLine(text);
}

void CMainFrame::onWorkerProgress(std::int32_t percent) {
    appendLine(std::string(kProgressPrefix) + ui::stringPrintf(kProgressLine, percent));
}

void CMainFrame::onWorkerResult(std::int32_t code) {
    switch (workerCommand) {
        case cmdDetect:
            if (code == resDetected) {
                appendLine(kDeviceDetected);
                sendWorkerCommand(cmdLogin);
                appendLine(kLoggingIn);
            } else {
                appendLine(kDetectionError);
            }
            break;
        case cmdLogin:
            if (code == resLoggedIn) {
                appendLine(kLoggedIn);
                sendWorkerCommand(cmdTerminal);
            } else {
                appendLine(kLoginError);
            }
            break;
        case cmdUpload:
        case cmdDownload:
            if (const char* line = transferResultLine(code)) {
                appendLine(line);
            }
            if (const std::string cause =
                    describeTransferEnd(worker->failureReason(), worker->transferOutcome());
                code != resTransferOk && !cause.empty()) {
                appendLine(cause);
            }
            finishTerminalDownload(code);
            sendWorkerCommand(cmdTerminal);
            break;
        default:
            break;
    }
}

ui::LRESULT CMainFrame::OnWizardExit(ui::WPARAM /*wParam*/, ui::LPARAM /*lParam*/) {
    if (wizardRunning_) {
        // Handled once the wizard has returned, as the program expects.
        exitPending_ = true;
        return 0;
    }
    if (!app_.getShowTerminal() || terminating_) {
        disconnectPort();
        DestroyWindow();
    }
    return 0;
}

void CMainFrame::OnClose() {
    if (terminalInFront_ && activePage != nullptr) {
        if (terminalOwnsCommand_ && !confirmStopTransfer(*this)) {
            return;
        }
        terminalInFront_ = false;
        ShowWindow(ui::SW_HIDE);
        GetPlatform().comeBack(*activePage, *this);
        return;
    }
    if (!confirmStopTransfer(*this)) {
        return;
    }
    ui::FrameWindow::OnClose();
}

void CMainFrame::onTerminationRequest() {
    stopTransfer();
    terminating_ = true;
    PostMessage(WM_WIZARD_EXIT);
    if (activePage != nullptr) {
        activePage->EndDialog(kPageExit);
    }
}

// ---- log and commands ------------------------------------------------------------

void CMainFrame::appendLine(std::string_view text) {
    logView.AppendLine(text);
}

void CMainFrame::OnDetect() {
    if (!isConnected() || refuseWhileWizardTransfers()) {
        return;
    }
    TerminalCommand terminal(*this);
    worker->cancel();
    appendLine(kDetecting);
    sendWorkerCommand(cmdDetect);
}

void CMainFrame::OnTerminal() {
    if (!isConnected() || refuseWhileWizardTransfers()) {
        return;
    }
    TerminalCommand terminal(*this);
    worker->cancel();
    appendLine(kTerminalMode);
    sendWorkerCommand(cmdTerminal);
}

void CMainFrame::OnUpload() {
    if (!canStartTransfer() || refuseWhileWizardTransfers()) {
        return;
    }
    const std::string start =
        std::filesystem::path(getSettings().getFirmwarePath()).parent_path().string();
    ui::FileDialog dialog(GetPlatform(), true, "", start.empty() ? "" : start + "/", 0,
                          kAnyFileFilter, this);
    if (dialog.DoModal() != ui::IDOK) {
        return;
    }
    const std::string path = dialog.GetPathName();
    if (!opensAsRegularFile(path)) {
        MessageBox(LoadString(res::IDS_CANT_OPEN_FILE));
        return;
    }
    if (MessageBox(ui::stringPrintf(kSendQuestion, path.c_str(), kMenuUploadFile), nullptr,
                   kQuestionBox) != ui::IDYES) {
        return;
    }
    TerminalCommand terminal(*this);
    startTransfer(kMenuUploadFile, true, path);
}

void CMainFrame::OnDownload() {
    if (!canStartTransfer() || refuseWhileWizardTransfers()) {
        return;
    }
    const std::filesystem::path folder = getSettings().getSettingPath();
    const auto proposed = makeBackupName(folder, kSettingBackup, kSettingBackupNumbered);
    ui::FileDialog dialog(GetPlatform(), false, "bak",
                          (proposed ? *proposed : folder / kSettingBackup).string(), 0,
                          kBackupFilter, this);
    if (dialog.DoModal() != ui::IDOK) {
        return;
    }
    const std::filesystem::path target = dialog.GetPathName();
    // The save dialog asked before it returned a file that exists: that one file
    // may be replaced, nothing else.
    std::error_code ignored;
    const bool confirmedExisting =
        std::filesystem::exists(std::filesystem::symlink_status(target, ignored));
    std::string why;
    const std::filesystem::path into =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    auto download = PendingBackup::create(into, target.filename().string(), "", &why);
    if (!download) {
        appendLine(why);
        MessageBox(LoadString(res::IDS_CANT_OPEN_FILE));
        return;
    }
    TerminalCommand terminal(*this);
    if (startTransfer(kMenuDownloadFile, false, download->partialPath().string())) {
        downloadTarget_ = target;
        replaceDownloadTarget_ = confirmedExisting;
        terminalDownload_.emplace(std::move(*download));
    }
}

void CMainFrame::OnSendButton() {
    if (!isConnected() || refuseWhileWizardTransfers()) {
        return;
    }
    const std::string text = commandBar.GetDlgItem(res::IDC_COMMAND_EDIT).GetWindowText();
    if (!worker) {
        return;
    }
    if (worker->queueCommandLine(text)) {
        appendLine(kCommandPrefix + text);
    } else {
        MessageBox(kCantSendCommand, kSendCaption, ui::MB_OK);
    }
}

void CMainFrame::OnSaveTrace() {
    if (tracePath_.empty()) {
        return;
    }
    ui::FileDialog dialog(GetPlatform(), false, "txt", traceSaveName(traceStarted_, tracePort_), 0,
                          kTraceFilter, this);
    if (dialog.DoModal() != ui::IDOK) {
        return;
    }
    if (trace_) {
        trace_->flush();
    }
    std::string why;
    if (!saveTraceCopy(tracePath_, dialog.GetPathName(), &why)) {
        MessageBox(why, nullptr, ui::MB_OK | ui::MB_ICONERROR);
    }
}

void CMainFrame::showTerminalWindow() {
    app_.setShowTerminal(true);
    if (!IsWindow()) {
        return;
    }
    ShowWindow(ui::SW_SHOW);
    UpdateWindow();
    if (activePage != nullptr) {
        terminalInFront_ = true;
        GetPlatform().stepAside(*activePage, *this);
    }
}

}  // namespace tidewell
