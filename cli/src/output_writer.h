// The one place where the ports of a run on several ports write: whole lines, never
// interleaved mid-line, each prefixed with its port ("COM3: ..."). On a terminal each
// port also has a status line at the bottom of standard error, redrawn in place at most
// ten times a second; the other lines scroll above them.
//
// Thread safety: every member may be called from any thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell::cli {

// An output stream that hands each whole line (without its '\n') to a function; an
// unfinished last line goes when the stream is destroyed. Used by one thread.
class LineStream : public std::ostream {
  public:
    using Sink = std::function<void(std::string_view line)>;
    explicit LineStream(Sink sink);
    ~LineStream() override;

  private:
    class Buffer : public std::streambuf {
      public:
        explicit Buffer(Sink sink) : sink_(std::move(sink)) {}
        void finish();

      protected:
        int_type overflow(int_type c) override;
        std::streamsize xsputn(const char* text, std::streamsize count) override;

      private:
        Sink sink_;
        std::string line_;
    };
    Buffer buffer_;
};

class OutputWriter {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kRedrawInterval{100};

    enum class Channel { out, err, log };

    struct Streams {
        std::ostream& out;
        std::ostream& err;
        std::ostream* log = nullptr;  // --log, or none
        // err is a terminal: draw the ports' status lines there.
        bool board = false;
        // out shows on the same screen: its lines go above the status lines too.
        bool outOnScreen = false;
        // Width of the screen; lines of the board are cut to it.
        std::function<std::size_t()> columns;
    };

    OutputWriter(Streams streams, std::vector<std::string> labels);

    // A line of port `port`, prefixed with its label.
    void line(std::size_t port, Channel channel, std::string_view text);
    // A line of the run itself (a JSON object, the summary, a message), as it stands.
    void plain(Channel channel, std::string_view text);
    // The text of a port's status line (after its label).
    void status(std::size_t port, std::string text);
    // Redraws the status lines when they changed and the last redraw is old enough.
    void tick(Clock::time_point now);
    // Removes the status lines for good; later lines go straight through.
    void closeBoard();

    std::size_t redraws() const;

  private:
    void write(Channel channel, const std::string& text);
    std::string erasing() const;
    std::string drawing() const;
    void redraw(Clock::time_point now);

    Streams streams_;
    std::vector<std::string> labels_;
    std::size_t labelWidth_ = 0;
    mutable std::mutex lock_;
    std::vector<std::string> status_;
    bool boardOpen_;
    std::size_t drawnLines_ = 0;  // status lines on screen now
    bool dirty_ = false;
    Clock::time_point lastRedraw_{};
    std::size_t redraws_ = 0;
};

}  // namespace tidewell::cli
