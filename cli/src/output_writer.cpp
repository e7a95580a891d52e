#include "output_writer.h"

#include <algorithm>

namespace tidewell::cli {

namespace {

constexpr std::string_view kLineUp = "\x1b[";         // followed by the count and 'A'
constexpr std::string_view kClearBelow = "\r\x1b[J";  // column 0, clear to the end
constexpr std::size_t kDefaultColumns = 80;

// Cuts a line to fit `columns` without splitting a UTF-8 sequence.
std::string fitted(std::string text, std::size_t columns) {
    if (columns == 0 || text.size() < columns) return text;
    std::size_t cut = columns - 1;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
    return text;
}

}  // namespace

void LineStream::Buffer::finish() {
    if (!line_.empty()) sink_(line_);
    line_.clear();
}

LineStream::Buffer::int_type LineStream::Buffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    if (ch == '\n') {
        sink_(line_);
        line_.clear();
    } else {
        line_.push_back(ch);
    }
    return c;
}

std::streamsize LineStream::Buffer::xsputn(const char* text, std::streamsize count) {
    for (std::streamsize i = 0; i < count; ++i) overflow(traits_type::to_int_type(text[i]));
    return count;
}

LineStream::LineStream(Sink sink) : std::ostream(nullptr), buffer_(std::move(sink)) {
    rdbuf(&buffer_);
}

LineStream::~LineStream() {
    buffer_.finish();
}

OutputWriter::OutputWriter(Streams streams, std::vector<std::string> labels)
    : streams_(std::move(streams)),
      labels_(std::move(labels)),
      status_(labels_.size()),
      boardOpen_(streams_.board) {
    for (const auto& label : labels_) labelWidth_ = std::max(labelWidth_, label.size());
}

std::string OutputWriter::erasing() const {
    if (drawnLines_ == 0) return {};
    return std::string(kLineUp) + std::to_string(drawnLines_) + "A" + std::string(kClearBelow);
}

std::string OutputWriter::drawing() const {
    const std::size_t columns = streams_.columns ? streams_.columns() : kDefaultColumns;
    std::string text;
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        std::string line = labels_[i];
        line.resize(labelWidth_, ' ');
        line += "  " + status_[i];
        text += fitted(std::move(line), columns) + '\n';
    }
    return text;
}

void OutputWriter::redraw(Clock::time_point now) {
    const std::string text = erasing() + drawing();
    streams_.err << text << std::flush;
    drawnLines_ = labels_.size();
    dirty_ = false;
    lastRedraw_ = now;
    ++redraws_;
}

void OutputWriter::write(Channel channel, const std::string& text) {
    if (channel == Channel::log) {
        if (streams_.log) *streams_.log << text << '\n' << std::flush;
        return;
    }
    std::ostream& stream = channel == Channel::out ? streams_.out : streams_.err;
    const bool onScreen = boardOpen_ && (channel == Channel::err || streams_.outOnScreen);
    if (onScreen && drawnLines_ > 0) {
        // The line takes the status lines' place; they come back below it.
        streams_.err << erasing() << std::flush;
        drawnLines_ = 0;
        dirty_ = true;
    }
    stream << text << '\n' << std::flush;
    if (onScreen && Clock::now() - lastRedraw_ >= kRedrawInterval) redraw(Clock::now());
}

void OutputWriter::line(std::size_t port, Channel channel, std::string_view text) {
    std::lock_guard guard(lock_);
    write(channel, labels_.at(port) + ": " + std::string(text));
}

void OutputWriter::plain(Channel channel, std::string_view text) {
    std::lock_guard guard(lock_);
    write(channel, std::string(text));
}

void OutputWriter::status(std::size_t port, std::string text) {
    std::lock_guard guard(lock_);
    if (!boardOpen_ || status_.at(port) == text) return;
    status_[port] = std::move(text);
    dirty_ = true;
}

void OutputWriter::tick(Clock::time_point now) {
    std::lock_guard guard(lock_);
    if (boardOpen_ && dirty_ && now - lastRedraw_ >= kRedrawInterval) redraw(now);
}

void OutputWriter::closeBoard() {
    std::lock_guard guard(lock_);
    if (!boardOpen_) return;
    streams_.err << erasing() << std::flush;
    drawnLines_ = 0;
    boardOpen_ = false;
}

std::size_t OutputWriter::redraws() const {
    std::lock_guard guard(lock_);
    return redraws_;
}

}  // namespace tidewell::cli
