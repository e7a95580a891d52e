#include "frame_env.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tidewell/resources/ids.h"
#include "tidewell/resources/resources.h"

namespace tidewell::testing {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tidewell-frame-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp " + pattern + " failed");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

// ---- test pages ------------------------------------------------------------------

TestPage::TestPage(int templateId, CMainFrame* frame, PageScript& script)
    : CBaseDlg(templateId, frame), script_(script) {}

TestPage::~TestPage() = default;

void TestPage::onResult(std::int32_t code) {
    script_.results.push_back(code);
}

void TestPage::onProgress(std::int32_t percent) {
    script_.progress.push_back(percent);
}

bool TestPage::OnInitDialog() {
    CBaseDlg::OnInitDialog();
    const std::int32_t type = m_pFrame->getCurrentStepType();
    script_.visits.push_back({GetTemplateId(), type, m_pFrame->getProgressMode(),
                              m_pFrame->getFileSelectionMode(), m_pFrame->getActivePage() == this});
    if (m_next != nullptr) {
        m_next->EnableWindow(true);
    }
    if (script_.endsItself.count(type) != 0) {
        EndDialog(kPageNext);
    }
    return true;
}

namespace {

// Destroyed with the page set: counts how often the driver let a set go.
class SetProbe {
  public:
    explicit SetProbe(PageScript& script) : script_(script) {}
    ~SetProbe() { ++script_.pageSetsDestroyed; }

  private:
    PageScript& script_;
};

// A page that notes when its set is destroyed.
class ProbedPage : public TestPage {
  public:
    ProbedPage(int templateId, CMainFrame* frame, PageScript& script)
        : TestPage(templateId, frame, script), probe_(script) {}

  private:
    SetProbe probe_;
};

}  // namespace

WizardPageFactory testPageFactory(PageScript& script) {
    return [&script](CMainFrame* frame) {
        ++script.pageSetsBuilt;
        auto make = [&](int templateId, std::int32_t type) -> std::unique_ptr<CBaseDlg> {
            if (script.missing.count(type) != 0) {
                return nullptr;
            }
            return std::make_unique<TestPage>(templateId, frame, script);
        };
        WizardPages pages;
        pages.operationChoice = make(res::IDD_OPERATION_CHOICE, stepChooseOperations);
        pages.portSelection =
            script.missing.count(stepSelectPort) != 0
                ? nullptr
                : std::make_unique<ProbedPage>(res::IDD_PORT_SELECTION, frame, script);
        pages.fileSelection = make(res::IDD_FILE_SELECTION, stepChooseFirmware);
        pages.detection = make(res::IDD_DETECTION, stepDetect);
        pages.progress = make(res::IDD_PROGRESS, stepBackupTransfers);
        return pages;
    };
}

ui::LRESULT CountingFrame::OnWizardExit(ui::WPARAM wParam, ui::LPARAM lParam) {
    ++exitMessages;
    return CMainFrame::OnWizardExit(wParam, lParam);
}

// ---- environment -------------------------------------------------------------------

FrameEnv::FrameEnv(bool fakeSerial, EngineTiming timing, const ui::ResourceSet* resources)
    : settingsFile_(temp_.path() / "tidewell.ini"),
      device_(std::make_shared<FakeSerialDevice>()),
      platform_(std::make_unique<ui::headless::HeadlessPlatform>(
          resources != nullptr ? *resources : res::tidewellResources())) {
    platform_->setAppName("tidewell");
    AppEnvironment environment{SettingsStore(settingsFile_), {}, testPageFactory(pages_), timing};
    if (fakeSerial) {
        environment.serial = fakeSerialPlatform(device_, [this](std::uint8_t port) {
            return missingPorts_.count(port) != 0 ? std::string()
                                                  : "/dev/fake/COM" + std::to_string(port);
        });
    }
    app_ = std::make_unique<CTidewellApp>(std::move(environment));
}

FrameEnv::~FrameEnv() = default;

std::unique_ptr<CountingFrame> FrameEnv::makeFrame(bool terminal) {
    if (terminal) {
        app_->setShowTerminal(true);
    }
    auto frame = std::make_unique<CountingFrame>(*platform_, *app_);
    if (!frame->LoadFrame(res::IDR_MAINFRAME)) {
        return nullptr;
    }
    return frame;
}

std::unique_ptr<CountingFrame> FrameEnv::makeTerminalFrame() {
    pages_.missing.insert(stepSelectPort);
    auto frame = makeFrame(true);
    pages_.missing.erase(stepSelectPort);
    if (frame) {
        frame->ShowWindow(ui::SW_SHOW);
    }
    return frame;
}

std::vector<std::string> FrameEnv::logLines(CMainFrame& frame) {
    std::vector<std::string> lines;
    std::istringstream in(frame.getLogView().GetWindowText());
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

bool FrameEnv::pumpUntil(const std::function<bool()>& condition,
                         std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (true) {
        platform_->runPending();
        if (condition()) {
            return true;
        }
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
}

// ---- child processes ---------------------------------------------------------------

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    pid_ = ::fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        const int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, STDIN_FILENO);
        std::vector<char*> args;
        for (const auto& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    outPipe_ = fds[0];
}

ChildProcess::~ChildProcess() {
    terminate();
    if (outPipe_ >= 0) {
        ::close(outPipe_);
    }
}

bool ChildProcess::readLine(std::string& line, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (true) {
        if (const auto end = buffered_.find('\n'); end != std::string::npos) {
            line = buffered_.substr(0, end);
            buffered_.erase(0, end + 1);
            return true;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd fd{outPipe_, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        char chunk[256];
        const ssize_t got = ::read(outPipe_, chunk, sizeof chunk);
        if (got <= 0) {
            return false;
        }
        buffered_.append(chunk, static_cast<std::size_t>(got));
    }
}

int ChildProcess::wait(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (pid_ > 0) {
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = -1;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (Clock::now() > deadline) {
            return -1;
        }
        std::this_thread::sleep_for(5ms);
    }
    return status_;
}

void ChildProcess::terminate() {
    if (pid_ <= 0) {
        return;
    }
    ::kill(pid_, SIGTERM);
    if (wait(5s) < 0 && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        wait(5s);
    }
}

Devsim::Devsim(const std::filesystem::path& dir, const std::vector<std::string>& extraArgs)
    : link_(dir / "devsim-tty"), store_(dir / "store") {
    std::filesystem::create_directories(store_);
    std::vector<std::string> argv = {TIDEWELL_DEVSIM, "--link", link_.string(), "--store",
                                     store_.string()};
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    process_ = std::make_unique<ChildProcess>(argv);
    std::string line;
    ready_ = process_->readLine(line, 10s) && !line.empty();
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

}  // namespace tidewell::testing
