#pragma once

// Turns the bytes of a control connection into command lines, obeying the telnet codes
// that RFC 959 clients may send: IAC sequences are removed, option requests refused,
// erase-character and erase-line applied, an interrupt discards input up to the data
// mark. Lines end at CR LF, CR NUL or a lone LF.
//
// It is a pure state machine fed with whatever arrived, so the session can read the
// socket in blocks (not byte by byte) and tests can drive every transition directly.
// A line is capped: past the cap the rest of that line is dropped and the line comes out
// marked too long, so a client cannot make us buffer without end.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

struct CommandLine {
  std::string text;  // without the line end
  bool too_long = false;
};

// Owned by one session; used by its thread only.
class CommandLineReader {
 public:
  static constexpr std::size_t kMaxLineLength = 8192;

  // Takes bytes from the front of `input` up to and including the end of one line and
  // returns that line; `input` then holds what follows. Returns nothing once all of
  // `input` is taken without a line ending. Telnet answers due are appended to `answer`.
  std::optional<CommandLine> Feed(std::string_view& input, std::string& answer);
  // True once any byte of a line not yet ended was taken, Telnet codes included: the
  // session's deadline for a line counts from it.
  bool InLine() const { return in_line_; }

 private:
  enum class State {
    kData,
    kAfterCr,
    kCommand,
    kWill,
    kDo,
    kIgnoreOption,
    kSubNegotiation,
    kSubNegotiationBody,
    kSubNegotiationIac,
    kInterrupted,
    kInterruptedIac,
  };

  // Handles one byte; true when it ended the line.
  bool Step(unsigned char byte, std::string& answer);
  void Append(char c);
  CommandLine TakeLine();

  State state_ = State::kData;
  std::string line_;
  bool too_long_ = false;
  bool in_line_ = false;
};

}  // namespace vantrel
