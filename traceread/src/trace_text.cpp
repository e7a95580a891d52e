// The summary as plain text, for a technician.
#include <cstdio>
#include <ctime>

#include "tidewell/tracefmt/trace_format.h"
#include "tidewell/traceread/trace_summary.h"

namespace tidewell::traceread {

namespace {

constexpr std::string_view kIndent = "                 ";  // under the text after the time

std::string fixed(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string stamp(double milliseconds) {
    char text[48];
    std::snprintf(text, sizeof text, "%12.3f ms  ", milliseconds);
    return text;
}

std::string counted(std::uint64_t n, std::string_view one, std::string_view many) {
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

std::string endText(const Transfer& t, const TraceSummary& summary) {
    switch (t.end) {
        case TransferEnd::result:
        case TransferEnd::finished:
            return t.result.empty() ? "ended" : t.result;
        case TransferEnd::nextCommand:
            return "no result before the next command" +
                   (t.result.empty() ? "" : " (final reply " + t.result + ")");
        case TransferEnd::traceLimit:
            return "the trace stops here: its size limit (" +
                   std::to_string(summary.limitBytes.value_or(0)) + " bytes) was reached";
        case TransferEnd::cutShort:
            break;
    }
    return "cut short: the trace ends before its result";
}

std::string transferText(const Transfer& t, const TraceSummary& summary) {
    const std::string indent(kIndent);
    std::string text =
        indent + endText(t, summary) + ": " + counted(t.packets, "packet", "packets") + ", " +
        counted(t.bytes, "byte", "bytes") + ", " + counted(t.retries, "retry", "retries") + ", " +
        counted(t.failedChecks, "failed check", "failed checks") + "\n";
    text += indent + fixed(t.durationMs, 1) + " ms in all, blocks " + fixed(t.blocksMs, 1) + " ms";
    if (t.bytesPerSecond) text += ": " + fixed(*t.bytesPerSecond, 0) + " bytes/s";
    if (t.lineShare) text += ", " + fixed(*t.lineShare * 100.0, 1) + " % of the line";
    text += "\n" + indent + "longest silence " + fixed(t.longestSilenceMs, 1) + " ms\n";
    if (const auto& a = t.firstAnomaly) {
        text += indent + "first anomaly at " + fixed(a->milliseconds, 3) + " ms (line " +
                std::to_string(a->line) + "): " + a->text + "\n";
        if (!a->before.empty()) text += indent + "  before: " + a->before + "\n";
        if (!a->after.empty()) text += indent + "  after:  " + a->after + "\n";
    } else {
        text += indent + "no anomaly\n";
    }
    return text;
}

}  // namespace

std::string describe(const TraceSummary& summary, std::string_view name) {
    const tracefmt::Heading& h = summary.heading;
    std::string text = std::string(name) + ": " + h.program + " " + h.version + ", port " +
                       h.portLabel + " (" + h.devicePath + "), " +
                       (h.speed == 0 ? "speed unknown" : std::to_string(h.speed) + " bit/s") +
                       ", started " + tracefmt::startedText(h.started) + "\n";
    for (const Command& c : summary.commands) {
        text += stamp(c.milliseconds) + tracefmt::quoted(c.text) + ": ";
        text += c.mark.empty() ? "no reply" : tracefmt::quoted(c.reply) + " " + c.mark;
        if (c.transfer) {
            text += c.transfer->toDevice ? ", transfer to the device\n"
                                         : ", transfer from the device\n";
            text += transferText(*c.transfer, summary);
        } else {
            text += (c.result.empty() ? "" : ", " + c.result) + "\n";
        }
    }
    if (summary.commands.empty()) text += std::string(kIndent) + "no command\n";
    if (summary.limitBytes && (summary.commands.empty() || !summary.commands.back().transfer ||
                               summary.commands.back().transfer->end != TransferEnd::traceLimit)) {
        text += std::string(kIndent) + "the trace stops at its size limit (" +
                std::to_string(*summary.limitBytes) + " bytes)\n";
    }
    return text;
}

}  // namespace tidewell::traceread
