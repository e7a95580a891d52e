#include "tidewell/devsim/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tidewell::devsim {
namespace {

using std::chrono::milliseconds;

ParsedOptions parse(std::vector<std::string_view> args) {
    return parseOptions(args);
}

TEST(DevsimOptions, DefaultsNeedOnlyTheLink) {
    const auto parsed = parse({"--link", "/tmp/x"});
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    const Options& o = parsed.options;
    EXPECT_EQ(o.link, "/tmp/x");
    EXPECT_EQ(o.store, ".");
    EXPECT_EQ(o.loginWord, "pivot");
    EXPECT_FALSE(o.baud);
    EXPECT_EQ(o.bootDelay, milliseconds(0));
    EXPECT_EQ(o.transfer, TransferMode::builtin);
    EXPECT_TRUE(o.logPath.empty());
    EXPECT_FALSE(o.faults.noPrompt);
    EXPECT_EQ(o.faults.finalReply, FinalReply::normal);
    EXPECT_EQ(o.faults.seed, 1u);
}

TEST(DevsimOptions, EveryOptionIsRead) {
    const auto parsed = parse({"--link=/l",
                               "--store",
                               "/s",
                               "--login",
                               "open sesame",
                               "--baud",
                               "9600",
                               "--throttle-input",
                               "--boot-ms",
                               "250",
                               "--transfer",
                               "builtin",
                               "--log",
                               "/log",
                               "--no-prompt",
                               "--refuse-login",
                               "--refuse-transfers",
                               "--silent-after-command",
                               "--reply-delay",
                               "40",
                               "--corrupt-packet",
                               "3",
                               "--drop-ack",
                               "4",
                               "--cancel-at",
                               "5",
                               "--no-transfer-start",
                               "--bit-error-rate",
                               "1e-4",
                               "--seed",
                               "99",
                               "--hangup-at",
                               "70",
                               "--hangup-at-sent",
                               "80",
                               "--final-reply-late",
                               "900",
                               "--ok-after-failure",
                               "--hangup-in",
                               "final",
                               "--endless-line",
                               "command",
                               "--trickle-ms",
                               "900",
                               "--corrupt-store",
                               "0",
                               "--refuse-upload",
                               "flashimage",
                               "--refuse-upload=playlist",
                               "--mangle-download-name"});
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    const Options& o = parsed.options;
    const Faults& f = o.faults;
    EXPECT_EQ(o.link, "/l");
    EXPECT_EQ(o.store, "/s");
    EXPECT_EQ(o.loginWord, "open sesame");
    EXPECT_EQ(o.baud, 9600u);
    EXPECT_TRUE(o.throttleInput);
    EXPECT_EQ(o.bootDelay, milliseconds(250));
    EXPECT_EQ(o.logPath, "/log");
    EXPECT_TRUE(f.noPrompt && f.refuseLogin && f.refuseTransfers && f.silentAfterCommand);
    EXPECT_EQ(f.replyDelay, milliseconds(40));
    EXPECT_EQ(f.corruptPacket, 3u);
    EXPECT_EQ(f.dropAck, 4u);
    EXPECT_EQ(f.cancelAt, 5u);
    EXPECT_TRUE(f.noTransferStart);
    EXPECT_DOUBLE_EQ(f.bitErrorRate, 1e-4);
    EXPECT_EQ(f.seed, 99u);
    EXPECT_EQ(f.hangupAt, 70u);
    EXPECT_EQ(f.hangupAtSent, 80u);
    EXPECT_EQ(f.finalReply, FinalReply::late);
    EXPECT_EQ(f.finalReplyLate, milliseconds(900));
    EXPECT_TRUE(f.okAfterFailure);
    EXPECT_EQ(f.corruptStore, 0u);
    EXPECT_EQ(f.refuseUpload, (std::vector<std::string>{"flashimage", "playlist"}));
    EXPECT_TRUE(f.mangleDownloadName);
    const Faults more = parse({"--link", "l", "--ignore-login", "--reprompt-login",
                               "--corrupt-every-packet", "--escape-sequences"})
                            .options.faults;
    EXPECT_TRUE(more.ignoreLogin && more.repromptLogin && more.corruptEveryPacket &&
                more.escapeSequences);
    EXPECT_EQ(f.hangupIn, FaultPhase::final);
    EXPECT_EQ(f.flood, FloodKind::endlessLine);
    EXPECT_EQ(f.floodIn, FaultPhase::command);
    EXPECT_EQ(f.trickle, milliseconds(900));
}

TEST(DevsimOptions, PhaseFaultsNameTheirPhaseAndOneFloodAtATime) {
    const std::pair<const char*, FaultPhase> phases[] = {{"detection", FaultPhase::detection},
                                                         {"login", FaultPhase::login},
                                                         {"command", FaultPhase::command},
                                                         {"transfer", FaultPhase::transfer},
                                                         {"final", FaultPhase::final}};
    for (const auto& [name, phase] : phases) {
        const auto parsed = parse({"--link", "l", "--lf-flood", name, "--hangup-in", name});
        ASSERT_TRUE(parsed.ok()) << parsed.error;
        EXPECT_EQ(parsed.options.faults.flood, FloodKind::lineFeeds);
        EXPECT_EQ(parsed.options.faults.floodIn, phase);
        EXPECT_EQ(parsed.options.faults.hangupIn, phase);
        EXPECT_EQ(phaseName(phase), name);
    }
    EXPECT_EQ(parse({"--link", "l", "--noise", "login"}).options.faults.flood, FloodKind::noise);
    EXPECT_FALSE(parse({"--link", "l", "--noise", "login", "--lf-flood", "final"}).ok());
    EXPECT_FALSE(parse({"--link", "l", "--hangup-in", "later"}).ok());
    EXPECT_FALSE(parse({"--link", "l", "--trickle-ms", "0"}).ok());
    EXPECT_FALSE(parse({"--link", "l", "--transfer", "lrzsz", "--trickle-ms", "5"}).ok());
    EXPECT_FALSE(parse({"--link", "l", "--transfer", "lrzsz", "--hangup-in", "transfer"}).ok());
}

TEST(DevsimOptions, FinalReplyFlags) {
    EXPECT_EQ(parse({"--link", "l", "--no-final-reply"}).options.faults.finalReply,
              FinalReply::never);
    EXPECT_EQ(parse({"--link", "l", "--final-reply-early"}).options.faults.finalReply,
              FinalReply::early);
    EXPECT_FALSE(parse({"--link", "l", "--no-final-reply", "--final-reply-early"}).ok());
    EXPECT_FALSE(parse({"--link", "l", "--final-reply-late", "5", "--no-final-reply"}).ok());
}

TEST(DevsimOptions, LrzszModeRefusesPacketFaults) {
    EXPECT_TRUE(parse({"--link", "l", "--transfer", "lrzsz"}).ok());
    EXPECT_EQ(parse({"--link", "l", "--transfer", "lrzsz"}).options.transfer, TransferMode::lrzsz);
    for (const char* fault : {"--corrupt-packet", "--drop-ack", "--cancel-at", "--corrupt-store"}) {
        EXPECT_FALSE(parse({"--link", "l", "--transfer", "lrzsz", fault, "2"}).ok()) << fault;
    }
    EXPECT_FALSE(parse({"--link", "l", "--transfer", "lrzsz", "--corrupt-every-packet"}).ok());
}

TEST(DevsimOptions, BadCommandLinesAreRefusedWithAReason) {
    const std::vector<std::vector<std::string_view>> bad = {
        {},
        {"--store", "s"},
        {"--link"},
        {"--link", ""},
        {"--link", "l", "--bogus"},
        {"--link", "l", "extra"},
        {"--link", "l", "--baud", "0"},
        {"--link", "l", "--baud", "96x"},
        {"--link", "l", "--baud", "-5"},
        {"--link", "l", "--boot-ms", "abc"},
        {"--link", "l", "--transfer", "zmodem"},
        {"--link", "l", "--corrupt-packet", "0"},
        {"--link", "l", "--drop-ack", ""},
        {"--link", "l", "--bit-error-rate", "1.5"},
        {"--link", "l", "--bit-error-rate", "-0.1"},
        {"--link", "l", "--bit-error-rate", "nan"},
        {"--link", "l", "--hangup-at", "0"},
        {"--link", "l", "--login", ""},
        {"--link", "l", "--login", " x"},
        {"--link", "l", "--login", "a\rb"},
        {"--link", "l", "--no-prompt=yes"},
        {"--link", "l", "--throttle-input"},
        {"--link", "l", "--corrupt-store", "-1"},
        {"--link", "l", "--refuse-upload", "../setting"},
        {"--link", "l", "--refuse-upload", ""},
        {"--link", "l", "--mangle-download-name=yes"},
    };
    for (const auto& args : bad) {
        const auto parsed = parseOptions(args);
        std::string joined;
        for (auto a : args) joined += std::string(a) + " ";
        EXPECT_FALSE(parsed.ok()) << joined;
        EXPECT_FALSE(parsed.error.empty()) << joined;
    }
}

TEST(DevsimOptions, HelpAndVersionNeedNothingElseAndHelpListsEveryOption) {
    const auto parsed = parse({"--help"});
    EXPECT_TRUE(parsed.ok());
    EXPECT_TRUE(parsed.helpRequested);
    const auto version = parse({"--version"});
    EXPECT_TRUE(version.ok()) << version.error;
    EXPECT_TRUE(version.versionRequested);
    EXPECT_FALSE(version.helpRequested);
    const std::string text = usage();
    for (const char* option : {"--link",
                               "--store",
                               "--login",
                               "--baud",
                               "--throttle-input",
                               "--boot-ms",
                               "--transfer",
                               "--log",
                               "--no-prompt",
                               "--refuse-login",
                               "--refuse-transfers",
                               "--silent-after-command",
                               "--reply-delay",
                               "--corrupt-packet",
                               "--drop-ack",
                               "--cancel-at",
                               "--no-transfer-start",
                               "--bit-error-rate",
                               "--seed",
                               "--hangup-at",
                               "--hangup-at-sent",
                               "--no-final-reply",
                               "--final-reply-late",
                               "--final-reply-early",
                               "--ok-after-failure",
                               "--trickle-ms",
                               "--hangup-in",
                               "--lf-flood",
                               "--endless-line",
                               "--noise",
                               "--corrupt-store",
                               "--refuse-upload",
                               "--mangle-download-name",
                               "--help",
                               "--version"}) {
        EXPECT_NE(text.find(option), std::string::npos) << option;
    }
}

}  // namespace
}  // namespace tidewell::devsim
