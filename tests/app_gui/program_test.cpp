// The real program under X: it starts hidden behind its first wizard page (banner
// and title), the About box opens from the page, Exit ends the process with status 0
// and leaves nothing running. Driven from outside with xdotool; shots with import.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "frame_env.h"
#include "gui_support.h"

extern char** environ;

namespace tidewell::appgui {
namespace {

using namespace std::chrono_literals;
using gui::haveDisplay;
using gui::screenshotPath;
using Clock = std::chrono::steady_clock;

// Output of a shell command (standard error left to the test's own).
std::string run(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            out += buffer;
        }
        ::pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) {
        out.pop_back();
    }
    return out;
}

bool haveTool(const std::string& name) {
    return !run("command -v " + name + " 2>/dev/null").empty();
}

// The first window whose title is exactly `title`, once it is mapped; empty at the deadline.
std::string waitForWindow(const std::string& title, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        const std::string id =
            run("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null | head -n 1");
        if (!id.empty()) {
            return id;
        }
        std::this_thread::sleep_for(20ms);
    }
    return {};
}

bool waitUntilGone(const std::string& title, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        if (run("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null").empty()) {
            return true;
        }
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

double imageValue(const std::string& png, const std::string& crop, const std::string& what) {
    const std::string out = run("convert '" + png + "' -crop " + crop +
                                " -colorspace Gray -format '%[fx:" + what + "]' info: 2>/dev/null");
    return out.empty() ? -1.0 : std::stod(out);
}

// The program in a process group of its own, so that anything it left behind shows.
class Program {
  public:
    Program(const std::string& path, const std::filesystem::path& configHome) {
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            if (entry.rfind("XDG_CONFIG_HOME=", 0) != 0) {
                env.push_back(entry);
            }
        }
        env.push_back("XDG_CONFIG_HOME=" + configHome.string());
        env.push_back("NO_AT_BRIDGE=1");
        env.push_back("GDK_BACKEND=x11");
        std::vector<char*> envp;
        for (auto& entry : env) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);
        std::string arg0 = path;
        char* argv[] = {arg0.data(), nullptr};
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attr, 0);
        if (posix_spawn(&pid_, path.c_str(), nullptr, &attr, argv, envp.data()) != 0) {
            pid_ = -1;
        }
        posix_spawnattr_destroy(&attr);
    }
    ~Program() {
        if (pid_ > 0) {
            ::kill(-pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t group() const { return group_; }
    // Exit status once the program ended within timeout; -1 otherwise.
    int wait(std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }

  private:
    pid_t pid_ = -1;
    pid_t group_ = -1;

  public:
    void rememberGroup() { group_ = pid_; }
};

TEST(ProgramTest, StartsOnAPageOpensAboutAndExitsWithZeroLeavingNothingRunning) {
    if (!haveDisplay()) {
        GTEST_SKIP() << "no display: GUI tests need an X server (scripts/test runs the suite "
                        "under xvfb-run)";
    }
    if (!haveTool("xdotool") || !haveTool("import") || !haveTool("convert")) {
        GTEST_SKIP() << "xdotool and ImageMagick (import, convert) are needed to drive the "
                        "program from outside";
    }
    testing::TempDir dir;
    std::filesystem::create_directories(dir.path() / "tidewell");
    Program program(TIDEWELL_PROGRAM, dir.path());
    ASSERT_TRUE(program.started()) << "cannot start " << TIDEWELL_PROGRAM;
    program.rememberGroup();

    const std::string page = waitForWindow("Tidewell 1\\.2", 30s);
    ASSERT_FALSE(page.empty()) << "no wizard page appeared";
    // Banner and title: a dark banner across the top with bold white text on it.
    const std::string shot = screenshotPath("app-start-page");
    bool titled = false;
    for (const auto deadline = Clock::now() + 10s; !titled && Clock::now() < deadline;) {
        run("import -window " + page + " '" + shot + "' 2>/dev/null");
        titled = imageValue(shot, "40x50+0+0", "mean") < 0.45 &&
                 imageValue(shot, "200x20+45+11", "maxima") > 0.9;
        if (!titled) {
            std::this_thread::sleep_for(50ms);
        }
    }
    EXPECT_TRUE(titled) << "the page shows no banner with a white title: " << shot;
    // Kept with the title bar that a window manager draws.
    run("import -frame -window " + page + " -define png:exclude-chunks=date,time '" + shot +
        "' 2>/dev/null");

    run("xdotool windowfocus --sync " + page + " 2>/dev/null; xdotool key alt+a 2>/dev/null");
    const std::string about = waitForWindow("About Tidewell", 20s);
    ASSERT_FALSE(about.empty()) << "the About box did not open from the page";
    // Shot once painted: the banner across its top.
    const std::string aboutShot = screenshotPath("app-about");
    bool painted = false;
    for (const auto deadline = Clock::now() + 10s; !painted && Clock::now() < deadline;) {
        run("import -window " + about + " '" + aboutShot + "' 2>/dev/null");
        painted = imageValue(aboutShot, "40x20+0+0", "mean") < 0.45;
        if (!painted) {
            std::this_thread::sleep_for(50ms);
        }
    }
    EXPECT_TRUE(painted) << "the About box shows no banner: " << aboutShot;
    run("import -frame -window " + about + " -define png:exclude-chunks=date,time '" + aboutShot +
        "' 2>/dev/null");
    run("xdotool windowfocus --sync " + about + " 2>/dev/null; xdotool key Return 2>/dev/null");
    ASSERT_TRUE(waitUntilGone("About Tidewell", 20s));
    EXPECT_FALSE(run("xdotool search --onlyvisible --name '^Tidewell 1\\.2$' 2>/dev/null").empty())
        << "closing the About box closed the page";

    run("xdotool windowfocus --sync " + page + " 2>/dev/null; xdotool key Escape 2>/dev/null");
    EXPECT_EQ(program.wait(30s), 0);
    errno = 0;
    EXPECT_EQ(::kill(-program.group(), 0), -1);
    EXPECT_EQ(errno, ESRCH) << "processes of the program are still running";
}

}  // namespace
}  // namespace tidewell::appgui
