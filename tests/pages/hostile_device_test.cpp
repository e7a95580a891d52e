// The whole wizard against a device that misbehaves in each phase of a session
// (tidewell-devsim's phase faults on a 115200-baud line): random bytes, floods,
// an endless line, a trickling packet, a hang-up. The wizard must keep its window
// thread free (Back, Exit and Disconnect come back at once, watched so that a
// freeze fails instead of hanging), show the loss where the device is gone, stay
// light on the processor and on memory while it waits, and leave no partial file.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <optional>

#include "files.h"
#include "tidewell/testsupport/child_process.h"
#include "tidewell/testsupport/watchdog.h"
#include "wizard_rig.h"

namespace tidewell::pages::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testsupport::Watchdog;

// Where the wizard is when the fault strikes.
enum class Reach { detection, backup, update };
// What the user does while the device misbehaves.
enum class Leave { back, backToPortPage, backToDetection, exit, disconnect };

struct HostileCase {
    const char* name;
    std::vector<std::string> device;  // tidewell-devsim fault options
    Reach reach;
    const char* fault;   // the device's log line once the fault has struck
    const char* status;  // what the page ends at by itself; empty: the device holds it
    Leave leave;
    bool measureFirst = true;      // false: the processor is measured after leaving
    const char* settle = nullptr;  // the device's log line to wait for before Exit
};

void PrintTo(const HostileCase& c, std::ostream* out) {
    *out << c.name;
}

long residentKib() {
    long pages = 0;
    long resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long peakKib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The wait measured for the processor time: the device misbehaves all along.
constexpr auto kCpuWindow = 2s;
// Far beyond one read wait of the worker (3 s at most): a window thread held that
// long waits for the device, not for the worker to notice.
constexpr auto kFrozen = 12s;

class HostileDevice : public ::testing::TestWithParam<HostileCase> {
  protected:
    HostileDevice() {
        fs::create_directories(backups);
        rig.settings().setSettingPath(backups.string());
        writeFile(package, randomBytes(8 * 1024, 3));
        rig.settings().setFirmwarePath(package.string());
    }

    // Up to the page where the fault strikes.
    void reach(Reach where) {
        rig.choosePort(3);
        if (where == Reach::detection) {
            return;
        }
        rig.detectAndMoveOn();
        if (where == Reach::backup) {
            rig.chooseOperations(true, false, false, false, false);
        } else {
            rig.chooseOperations(false, false, true, false, false);
            rig.user().waitForDialog(kFileSelection).click(kNext);
        }
        rig.user().waitForDialog(kProgress);
    }

    // Processor time over wall time for kCpuWindow, the window thread pumping.
    void measureWhileWaiting() {
        rig.user()
            .run([this] {
                cpuAtStart_ = testsupport::processCpuTime();
                wallAtStart_ = Clock::now();
                rssAtStart_ = residentKib();
            })
            .waitUntil([this] { return Clock::now() - wallAtStart_ >= kCpuWindow; },
                       "the measured wait", kCpuWindow + 10s)
            .run([this] {
                const auto wall = std::chrono::duration<double>(Clock::now() - wallAtStart_);
                const auto cpu =
                    std::chrono::duration<double>(testsupport::processCpuTime() - cpuAtStart_);
                cpuRatio = cpu.count() / wall.count();
                rssGrowthKib = residentKib() - rssAtStart_;
            });
    }

    // Watches the window thread from here to unwatch: a freeze is freed by a hang-up.
    void watch() {
        rig.user().run([this] {
            watchStart_ = Clock::now();
            watchdog_.emplace(kFrozen, [this] { device_->hangUp(); });
        });
    }
    void unwatch(const std::string& what) {
        rig.user().run([this, what] { stopWatch(what); });
    }
    void stopWatch(const std::string& what) {
        ASSERT_TRUE(watchdog_.has_value());
        watchdog_->disarm();
        EXPECT_FALSE(watchdog_->fired()) << what << " held the window thread";
        watchdog_.reset();
        const auto took =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - watchStart_);
        timings += what + " " + std::to_string(took.count()) + " ms; ";
    }

    std::string statusText() {
        ui::Dialog* page = rig.ui().activeDialog();
        return page != nullptr ? page->GetDlgItem(res::IDC_STATUS).GetWindowText() : std::string();
    }

    WizardRig rig;
    TempDir deviceDir;
    fs::path backups = rig.file("backups");
    fs::path package = rig.file("fw.pkg");
    std::optional<Devsim> device_;
    double cpuRatio = -1;
    long rssGrowthKib = 0;
    std::string timings;

  private:
    std::optional<Watchdog> watchdog_;
    Clock::time_point watchStart_;
    std::chrono::microseconds cpuAtStart_{};
    Clock::time_point wallAtStart_;
    long rssAtStart_ = 0;
};

TEST_P(HostileDevice, TheWizardStaysFreeLightAndCleanAndNamesTheLoss) {
    const HostileCase& c = GetParam();
    std::vector<std::string> options = c.device;
    options.insert(options.end(), {"--baud", "115200"});
    device_.emplace(deviceDir.path(), options);
    writeFile(device_->storeFile("setting"), randomBytes(6 * 1024, 5));
    rig.setPort(3, device_->link());

    reach(c.reach);
    rig.user().waitUntil(
        [this, &c] { return readFile(device_->logFile()).find(c.fault) != std::string::npos; },
        std::string("the device's fault: ") + c.fault, 20s);
    if (c.measureFirst) {
        measureWhileWaiting();
    }
    const std::string expected = c.status;
    if (!expected.empty()) {
        rig.user().waitUntil([this, &expected] { return statusText().starts_with(expected); },
                             "the page's status " + expected, 40s);
    }

    watch();
    switch (c.leave) {
        case Leave::back:
            // From an update, Back passes the pages with nothing to do and comes
            // back to a new run of the page, which first ends the one before.
            rig.user().click(kBack).waitForDialog(c.reach == Reach::detection ? kWelcome
                                                  : c.reach == Reach::backup  ? kChoice
                                                                              : kProgress);
            break;
        case Leave::backToPortPage:
            // The device is gone for good: only a new connection can help.
            rig.user().click(kBack).waitForDialog(kWelcome);
            break;
        case Leave::backToDetection:
            // The detection page gives the device a new command, ending the transfer.
            rig.user().click(kBack).waitForDialog(kChoice).click(kBack).waitForDialog(kDetection);
            break;
        case Leave::disconnect:
            rig.user().run([this] { rig.frame().disconnectPort(); }, "Disconnect");
            break;
        case Leave::exit:
            break;
    }
    if (c.leave != Leave::exit) {
        unwatch(c.leave == Leave::disconnect ? "Disconnect" : "Back");
        if (!c.measureFirst) {
            measureWhileWaiting();
        }
        if (c.settle != nullptr) {
            rig.user().waitUntil(
                [this, &c] {
                    return readFile(device_->logFile()).find(c.settle) != std::string::npos;
                },
                std::string("the device: ") + c.settle, 30s);
        }
        watch();
    }
    // A transfer still running is stopped as Exit's Yes would (Exit would ask first).
    rig.user().run([this] { rig.frame().stopTransfer(); }, "stop the transfer").click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
    stopWatch("Exit");
    EXPECT_FALSE(rig.frame().IsWindow());

    // Light while it waits: a tenth of one core at most.
    EXPECT_GE(cpuRatio, 0.0);
    EXPECT_LT(cpuRatio, 0.10);
    EXPECT_LT(rssGrowthKib, 2048);
    EXPECT_TRUE(filesIn(backups).empty()) << filesIn(backups).front();
    if (std::string(c.device.front()) == "--hangup-in") {
        EXPECT_NE(rig.frame().getLogView().GetWindowText().find("Error: Lost the device"),
                  std::string::npos);
    }
    if (HasFailure()) {
        const std::string log = readFile(device_->logFile());
        std::printf("device log (end):\n%s\n",
                    log.substr(log.size() - std::min<std::size_t>(log.size(), 3000)).c_str());
    }
    std::printf("[ wizard ] %s: status \"%s\"; %sCPU %.3f; peak %ld KiB\n", c.name,
                expected.c_str(), timings.c_str(), cpuRatio, peakKib());
}

INSTANTIATE_TEST_SUITE_P(
    Pages, HostileDevice,
    ::testing::Values(HostileCase{"noise_in_detection",
                                  {"--noise", "detection"},
                                  Reach::detection,
                                  "fault noise detection",
                                  "",
                                  Leave::back},
                      HostileCase{"hangup_in_detection",
                                  {"--hangup-in", "detection"},
                                  Reach::detection,
                                  "hung up: line closed",
                                  "Detection error.",
                                  Leave::back},
                      HostileCase{"hangup_in_login",
                                  {"--hangup-in", "login"},
                                  Reach::detection,
                                  "hung up: line closed",
                                  "Login error.",
                                  Leave::exit},
                      HostileCase{"endless_line_for_the_transfer_line",
                                  {"--endless-line", "command"},
                                  Reach::backup,
                                  "fault endless-line command",
                                  "",
                                  Leave::disconnect},
                      HostileCase{"hangup_for_the_transfer_line",
                                  {"--hangup-in", "command"},
                                  Reach::update,
                                  "hung up: line closed",
                                  "Transfer error.",
                                  Leave::backToPortPage},
                      HostileCase{"lf_flood_in_a_backup",
                                  {"--lf-flood", "transfer"},
                                  Reach::backup,
                                  "fault lf-flood transfer",
                                  "",
                                  Leave::exit},
                      HostileCase{"trickling_packet",
                                  {"--trickle-ms", "900"},
                                  Reach::backup,
                                  "transfer upload",
                                  "",
                                  Leave::backToDetection},
                      HostileCase{"hangup_in_a_backup",
                                  {"--hangup-in", "transfer"},
                                  Reach::backup,
                                  "hung up: line closed",
                                  "Transfer error.",
                                  Leave::exit},
                      HostileCase{"hangup_in_an_update",
                                  {"--hangup-in", "transfer"},
                                  Reach::update,
                                  "hung up: line closed",
                                  "Transfer error.",
                                  Leave::disconnect},
                      HostileCase{"hangup_for_the_final_line",
                                  {"--hangup-in", "final"},
                                  Reach::backup,
                                  "hung up: line closed",
                                  "Transfer error.",
                                  Leave::backToPortPage},
                      HostileCase{"endless_final_line",
                                  {"--endless-line", "final"},
                                  Reach::update,
                                  "fault endless-line final",
                                  "",
                                  Leave::exit},
                      // Back before the device has accepted the backup's transfer line: the
                      // transfer goes on without a page, and its file must not outlive it.
                      HostileCase{"back_before_the_transfer_starts",
                                  {"--reply-delay", "1500"},
                                  Reach::backup,
                                  "rx line \"upload setting\"",
                                  "",
                                  Leave::back,
                                  false,
                                  "transfer ended"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tidewell::pages::testing
