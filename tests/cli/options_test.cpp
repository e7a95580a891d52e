#include "tidewell/cli/options.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string_view>
#include <variant>
#include <vector>

#include "tidewell/cli/exit_status.h"
#include "tidewell/serial/ports.h"

namespace tidewell::cli {
namespace {

ParseResult parse(std::initializer_list<std::string_view> args) {
    const std::vector<std::string_view> list(args);
    return parseArguments(list);
}

bool severalPorts(std::initializer_list<std::string_view> args) {
    const auto r = parse(args);
    return onSeveralPorts(r.options, r.job);
}

TEST(CliOptions, DefaultsApplyWhenOnlyACommandIsGiven) {
    const auto r = parse({"detect"});
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(commandOf(r.job), Command::detect);
    EXPECT_TRUE(r.options.port.saved());
    EXPECT_EQ(r.options.speed, 115200u);
    EXPECT_EQ(r.options.timeout, std::chrono::seconds(60));
    EXPECT_FALSE(r.options.quiet);
    EXPECT_TRUE(r.options.logFile.empty());
}

TEST(CliOptions, UpdateSendsThePackageToFlashimage) {
    const auto r = parse({"update", "fw.pkg"});
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(commandOf(r.job), Command::update);
    EXPECT_EQ(std::get<UpdateJob>(r.job).package, "fw.pkg");
    EXPECT_EQ(fileToSend(r.job).value().deviceFile, "flashimage");
}

TEST(CliOptions, BackupTakesTheDeviceFileAndAFolder) {
    const auto r = parse({"backup", "playlist", "--dir", "/tmp/b"});
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(commandOf(r.job), Command::backup);
    EXPECT_EQ(std::get<BackupJob>(r.job).deviceFile, "playlist");
    EXPECT_EQ(std::get<BackupJob>(r.job).folder, "/tmp/b");
    EXPECT_FALSE(fileToSend(r.job));
    EXPECT_EQ(std::get<BackupJob>(parse({"backup", "setting"}).job).folder, ".");
}

TEST(CliOptions, RestoreTakesTheDeviceFileAndTheBackup) {
    const auto r = parse({"restore", "setting", "setting_2.bak"});
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(std::get<RestoreJob>(r.job).deviceFile, "setting");
    EXPECT_EQ(std::get<RestoreJob>(r.job).backup, "setting_2.bak");
}

TEST(CliOptions, SendKeepsTheLineWhole) {
    const auto r = parse({"send", "download  x "});
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(std::get<SendJob>(r.job).line, "download  x ");
}

TEST(CliOptions, DoubleDashLetsALineStartWithADash) {
    const auto r = parse({"--quiet", "send", "--", "-v"});
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(std::get<SendJob>(r.job).line, "-v");
    EXPECT_TRUE(r.options.quiet);
}

TEST(CliOptions, OptionsMayStandBeforeOrAfterTheCommand) {
    const auto before = parse({"--port", "/dev/ttyUSB1", "--speed=57600", "detect"});
    const auto after = parse({"detect", "--port=/dev/ttyUSB1", "-s", "57600"});
    for (const auto& r : {before, after}) {
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(r.options.port.path, "/dev/ttyUSB1");
        EXPECT_FALSE(r.options.port.comNumber);
        EXPECT_EQ(r.options.speed, 57600u);
    }
}

TEST(CliOptions, ComNamesBecomeNumbersInAnyCase) {
    EXPECT_EQ(parse({"-p", "COM3", "detect"}).options.port.comNumber, 3);
    EXPECT_EQ(parse({"-p", "com16", "detect"}).options.port.comNumber, 16);
    EXPECT_EQ(comPortNumber("Com1"), 1);
    EXPECT_FALSE(comPortNumber("COM0"));
    EXPECT_FALSE(comPortNumber("COM17"));
    EXPECT_FALSE(comPortNumber("COM03"));
    EXPECT_FALSE(comPortNumber("COM"));
    EXPECT_FALSE(comPortNumber("COMX"));
}

TEST(CliOptions, ComNumbersOutsideOneToSixteenAreRefused) {
    EXPECT_NE(parse({"-p", "COM0", "detect"}).error.find("COM1 to COM16"), std::string::npos);
    EXPECT_FALSE(parse({"-p", "COM17", "detect"}).ok());
    // Not a COM name at all: taken as a path.
    EXPECT_EQ(parse({"-p", "COMPORT", "detect"}).options.port.path, "COMPORT");
}

TEST(CliOptions, SeveralPortsAreNamedByRepeatingOrListing) {
    const auto r = parse(
        {"--port", "COM1,/dev/ttyUSB7", "-p", "com2", "--jobs", "2", "update", "x.pkg", "--json"});
    ASSERT_TRUE(r.ok()) << r.error;
    ASSERT_EQ(r.options.ports.size(), 3u);
    EXPECT_EQ(r.options.ports[0].comNumber, 1);
    EXPECT_EQ(r.options.ports[1].path, "/dev/ttyUSB7");
    EXPECT_EQ(r.options.ports[2].comNumber, 2);
    EXPECT_EQ(r.options.port.comNumber, 1);  // a one-port run's port is the first
    EXPECT_EQ(r.options.jobs, 2u);
    EXPECT_TRUE(onSeveralPorts(r.options, r.job));
    EXPECT_TRUE(parse({"--port", "ALL", "backup", "setting"}).options.allPorts);
    EXPECT_TRUE(severalPorts({"--json", "detect"}));
    EXPECT_FALSE(severalPorts({"-p", "COM3", "detect"}));
    EXPECT_FALSE(severalPorts({"-p", "COM3,COM4", "ports"}));
    EXPECT_FALSE(severalPorts({"-p", "COM3,COM4", "verify", "a.bak"}));
}

TEST(CliOptions, SeveralPortsTakeOnlyTheDeviceCommandsAndEachPortOnce) {
    EXPECT_NE(parse({"-p", "COM1", "--port=com1", "detect"}).error.find("com1 is named twice"),
              std::string::npos);
    EXPECT_NE(parse({"-p", "COM1,,COM2", "detect"}).error.find("empty name"), std::string::npos);
    EXPECT_FALSE(parse({"-p", "all,COM2", "detect"}).ok());
    EXPECT_FALSE(parse({"-p", "COM1,COM17", "detect"}).ok());
    EXPECT_NE(parse({"-p", "COM1,COM2", "terminal"}).error.find("one port only"),
              std::string::npos);
    EXPECT_FALSE(parse({"--json", "terminal"}).ok());
    EXPECT_FALSE(parse({"--jobs", "2", "ports"}).ok());
    EXPECT_FALSE(parse({"--json", "verify", "a.bak"}).ok());
    for (std::string_view bad : {"0", "-1", "x", ""}) {
        EXPECT_FALSE(parse({"--jobs", bad, "detect"}).ok()) << bad;
    }
}

TEST(CliOptions, AnySpeedTheLineTakesIsAccepted) {
    EXPECT_EQ(parse({"-s", "250000", "detect"}).options.speed, 250000u);
    EXPECT_EQ(parse({"-s", "4294967295", "detect"}).options.speed, 4294967295u);
}

TEST(CliOptions, BadSpeedsAreUsageErrors) {
    for (std::string_view bad : {"0", "-9600", "fast", "9600x", "", "4294967296", "+9600"}) {
        const auto r = parse({"--speed", bad, "detect"});
        EXPECT_FALSE(r.ok()) << bad;
        EXPECT_NE(r.error.find("--speed"), std::string::npos) << r.error;
    }
}

TEST(CliOptions, TimeoutTakesDecimalSeconds) {
    EXPECT_EQ(parse({"-t", "5", "detect"}).options.timeout, std::chrono::seconds(5));
    EXPECT_EQ(parse({"--timeout=0.25", "detect"}).options.timeout, std::chrono::milliseconds(250));
    EXPECT_EQ(parse({"-t", "0.0001", "detect"}).options.timeout, std::chrono::milliseconds(1));
    // Exact to the millisecond, rounded up below it, whatever binary floating point makes of it.
    EXPECT_EQ(parse({"-t", "4.001", "detect"}).options.timeout, std::chrono::milliseconds(4001));
    EXPECT_EQ(parse({"-t", "4.0005", "detect"}).options.timeout, std::chrono::milliseconds(4001));
    EXPECT_EQ(parse({"-t", "0.29", "detect"}).options.timeout, std::chrono::milliseconds(290));
    EXPECT_EQ(parse({"-t", "604800", "detect"}).options.timeout, std::chrono::hours(168));
}

TEST(CliOptions, BadTimeoutsAreUsageErrors) {
    for (std::string_view bad : {"0", "-1", "soon", "1e3", "inf", "nan", "", "1000000000"}) {
        EXPECT_FALSE(parse({"--timeout", bad, "detect"}).ok()) << bad;
    }
}

TEST(CliOptions, UnknownCommandsAndOptionsAreNamed) {
    const auto command = parse({"flash", "x.pkg"});
    EXPECT_NE(command.error.find("\"flash\""), std::string::npos);
    const auto option = parse({"--colour", "detect"});
    EXPECT_NE(option.error.find("--colour"), std::string::npos);
    EXPECT_FALSE(parse({}).ok());
}

TEST(CliOptions, MissingValuesAndStrayValuesAreRefused) {
    EXPECT_NE(parse({"detect", "--port"}).error.find("needs a value"), std::string::npos);
    EXPECT_FALSE(parse({"--quiet=yes", "detect"}).ok());
    EXPECT_FALSE(parse({"--log=", "detect"}).ok());
    EXPECT_FALSE(parse({"--port=", "detect"}).ok());
}

TEST(CliOptions, OperandCountsAreChecked) {
    EXPECT_FALSE(parse({"update"}).ok());
    EXPECT_FALSE(parse({"update", "a.pkg", "b.pkg"}).ok());
    EXPECT_FALSE(parse({"restore", "setting"}).ok());
    EXPECT_FALSE(parse({"detect", "now"}).ok());
    EXPECT_FALSE(parse({"send"}).ok());
    EXPECT_FALSE(parse({"send", ""}).ok());
    EXPECT_FALSE(parse({"update", ""}).ok());
}

TEST(CliOptions, OnlySettingAndPlaylistAreDeviceFiles) {
    EXPECT_FALSE(parse({"backup", "flashimage"}).ok());
    EXPECT_FALSE(parse({"restore", "Setting", "x.bak"}).ok());
}

TEST(CliOptions, DirBelongsToBackupOnly) {
    EXPECT_FALSE(parse({"update", "x.pkg", "--dir", "out"}).ok());
    EXPECT_TRUE(parse({"--dir", "out", "backup", "setting"}).ok());
}

TEST(CliOptions, ForceBelongsToUpdateAndRestoreAndSendRefusesLineBreaks) {
    EXPECT_TRUE(std::get<UpdateJob>(parse({"update", "x.pkg", "--force"}).job).force);
    EXPECT_FALSE(parse({"--force", "backup", "setting"}).ok());
    // The device would run the part after a CR as a second command.
    EXPECT_NE(parse({"send", "ls\rformat"}).error.find("carriage return or line feed"),
              std::string::npos);
}

// Restores are read back unless --no-verify; updates only on --verify.
TEST(CliOptions, VerificationOptionsBelongToTheirCommands) {
    const auto readsBack = [](std::initializer_list<std::string_view> args) {
        return fileToSend(parse(args).job).value().readsBack;
    };
    EXPECT_TRUE(readsBack({"restore", "setting", "s.bak"}));
    EXPECT_FALSE(readsBack({"restore", "setting", "s.bak", "--no-verify"}));
    EXPECT_FALSE(readsBack({"update", "x.pkg"}));
    EXPECT_TRUE(readsBack({"--verify", "update", "x.pkg"}));
    EXPECT_FALSE(parse({"update", "x.pkg", "--verify", "--no-verify"}).ok());
    EXPECT_FALSE(parse({"backup", "setting", "--verify"}).ok());
    EXPECT_EQ(
        std::get<UpdateJob>(parse({"update", "x.pkg", "--backup-first=/b"}).job).backupFirstDir,
        "/b");
    EXPECT_FALSE(parse({"restore", "setting", "s.bak", "--backup-first", "/b"}).ok());
    EXPECT_FALSE(parse({"update", "x.pkg", "--backup-first", ""}).ok());
    const auto verify = parse({"verify", "a.bak", "--", "-b.bak"});
    ASSERT_TRUE(verify.ok()) << verify.error;
    EXPECT_EQ(std::get<VerifyJob>(verify.job).files, (std::vector<std::string>{"a.bak", "-b.bak"}));
    EXPECT_FALSE(fileToSend(verify.job));  // nothing sent, nothing read back
    EXPECT_FALSE(parse({"verify"}).ok());
    const auto trace = parse({"trace", "--json", "h.trace", "d.trace"});
    ASSERT_TRUE(trace.ok()) << trace.error;
    EXPECT_EQ(std::get<TraceJob>(trace.job).files,
              (std::vector<std::string>{"h.trace", "d.trace"}));
    EXPECT_TRUE(trace.options.json);
    EXPECT_FALSE(onSeveralPorts(trace.options, trace.job));  // files, not ports
    EXPECT_FALSE(parse({"trace"}).ok());
    EXPECT_FALSE(parse({"--jobs", "2", "trace", "h.trace"}).ok());
}

TEST(CliOptions, TraceBelongsToThePortCommandsAndItsBytesNeedIt) {
    const auto r = parse({"--trace", "t.txt", "--trace-bytes=all", "backup", "setting"});
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.options.traceFile, "t.txt");
    EXPECT_TRUE(r.options.traceAllBytes);
    EXPECT_FALSE(
        parse({"--trace", "t.txt", "--trace-bytes", "bounded", "detect"}).options.traceAllBytes);
    EXPECT_FALSE(parse({"--trace", "t.txt", "verify", "a.bak"}).ok());
    EXPECT_FALSE(parse({"--trace-bytes", "all", "detect"}).ok());
    EXPECT_FALSE(parse({"--trace", "t.txt", "--trace-bytes", "some", "detect"}).ok());
}

TEST(CliOptions, HelpWinsOverAnIncompleteCommandLine) {
    const auto r = parse({"update", "--help"});
    EXPECT_TRUE(r.ok());
    EXPECT_TRUE(r.helpRequested);
    EXPECT_TRUE(parse({"--version"}).versionRequested);
}

TEST(CliOptions, UsageListsEveryCommandAndTheExitStatuses) {
    const std::string text = usageText();
    for (auto command :
         {"ports", "detect", "update", "backup", "restore", "send", "terminal", "verify"}) {
        EXPECT_NE(text.find(std::string("  ") + command), std::string::npos) << command;
    }
    EXPECT_NE(text.find("  130  interrupted (SIGINT, SIGTERM or SIGHUP)"), std::string::npos);
    EXPECT_NE(text.find(std::to_string(exitCode(ExitStatus::someDevicesFailed)) +
                        "  several ports: some devices failed"),
              std::string::npos);
    EXPECT_NE(text.find("--timeout"), std::string::npos);
    EXPECT_NE(text.find("--force"), std::string::npos);
}

}  // namespace
}  // namespace tidewell::cli
