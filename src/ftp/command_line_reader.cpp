#include "ftp/command_line_reader.h"

namespace vantrel {
namespace {

constexpr unsigned char kNul = 0;
constexpr unsigned char kLf = 10;
constexpr unsigned char kCr = 13;
constexpr unsigned char kSe = 240;
constexpr unsigned char kDm = 242;
constexpr unsigned char kIp = 244;
constexpr unsigned char kAo = 245;
constexpr unsigned char kEc = 247;
constexpr unsigned char kEl = 248;
constexpr unsigned char kSb = 250;
constexpr unsigned char kWill = 251;
constexpr unsigned char kWont = 252;
constexpr unsigned char kDo = 253;
constexpr unsigned char kDont = 254;
constexpr unsigned char kIac = 255;

void AppendBytes(std::string& out, std::initializer_list<unsigned char> bytes) {
  for (unsigned char b : bytes)
    out.push_back(static_cast<char>(b));
}

}  // namespace

std::optional<CommandLine> CommandLineReader::Feed(std::string_view& input, std::string& answer) {
  while (!input.empty()) {
    const auto byte = static_cast<unsigned char>(input.front());
    input.remove_prefix(1);
    if (Step(byte, answer))
      return TakeLine();
    in_line_ = true;
  }
  return std::nullopt;
}

void CommandLineReader::Append(char c) {
  if (line_.size() < kMaxLineLength) {
    line_.push_back(c);
  } else {
    too_long_ = true;
  }
}

CommandLine CommandLineReader::TakeLine() {
  CommandLine line{std::move(line_), too_long_};
  line_.clear();
  too_long_ = false;
  in_line_ = false;
  return line;
}

bool CommandLineReader::Step(unsigned char byte, std::string& answer) {
  switch (state_) {
    case State::kData:
      if (byte == kCr) {
        state_ = State::kAfterCr;
      } else if (byte == kIac) {
        state_ = State::kCommand;
      } else if (byte == kLf) {
        return true;
      } else {
        Append(static_cast<char>(byte));
      }
      return false;
    case State::kAfterCr:
      if (byte == kNul || byte == kLf) {
        state_ = State::kData;
        return true;
      }
      Append('\r');
      if (byte == kIac) {
        state_ = State::kCommand;
      } else {
        Append(static_cast<char>(byte));
        state_ = State::kData;
      }
      return false;
    case State::kCommand:
      state_ = State::kData;
      switch (byte) {
        case kIp:
          line_.clear();
          too_long_ = false;
          state_ = State::kInterrupted;
          break;
        case kAo:
          AppendBytes(answer, {kIac, kIp, kIac, kDm});
          break;
        case kEc:
          if (!line_.empty())
            line_.pop_back();
          break;
        case kEl:
          line_.clear();
          too_long_ = false;
          break;
        case kSb:
          state_ = State::kSubNegotiation;
          break;
        case kWill:
          state_ = State::kWill;
          break;
        case kDo:
          state_ = State::kDo;
          break;
        case kWont:
        case kDont:
          state_ = State::kIgnoreOption;
          break;
        case kIac:
          Append(static_cast<char>(kIac));
          break;
        default:
          break;
      }
      return false;
    case State::kWill:
      AppendBytes(answer, {kIac, kDont, byte});
      state_ = State::kData;
      return false;
    case State::kDo:
      AppendBytes(answer, {kIac, kWont, byte});
      state_ = State::kData;
      return false;
    case State::kIgnoreOption:
      state_ = State::kData;
      return false;
    case State::kSubNegotiation:
      state_ = State::kSubNegotiationBody;
      return false;
    case State::kSubNegotiationBody:
      if (byte == kIac)
        state_ = State::kSubNegotiationIac;
      return false;
    case State::kSubNegotiationIac:
      state_ = byte == kSe ? State::kData : State::kSubNegotiationBody;
      return false;
    case State::kInterrupted:
      if (byte == kIac)
        state_ = State::kInterruptedIac;
      return false;
    case State::kInterruptedIac:
      state_ = byte == kDm ? State::kData : State::kInterrupted;
      return false;
  }
  return false;
}

}  // namespace vantrel
