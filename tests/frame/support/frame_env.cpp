#include "frame_env.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tidewell/resources/ids.h"
#include "tidewell/resources/resources.h"

namespace tidewell::testing {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// ---- test pages ------------------------------------------------------------------

TestPage::TestPage(int templateId, WizardHost* frame, PageScript& script)
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
    ProbedPage(int templateId, WizardHost* frame, PageScript& script)
        : TestPage(templateId, frame, script), probe_(script) {}

  private:
    SetProbe probe_;
};

}  // namespace

WizardPageFactory testPageFactory(PageScript& script) {
    return [&script](WizardHost* frame) {
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

// ---- tidewell-devsim ---------------------------------------------------------------

Devsim::Devsim(const std::filesystem::path& dir, const std::vector<std::string>& extraArgs)
    : link_(dir / "devsim-tty"), store_(dir / "store") {
    std::filesystem::create_directories(store_);
    testsupport::DevsimOptions options;
    options.program = TIDEWELL_DEVSIM;
    options.link = link_;
    options.store = store_;
    options.stderrFile = dir / "devsim.err";
    options.extra = extraArgs;
    try {
        process_ = std::make_unique<testsupport::DevsimProcess>(options);
    } catch (const std::exception& error) {
        error_ = error.what();
    }
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
