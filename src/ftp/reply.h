#pragma once

// A numeric reply in the RFC 959 layout. The code is kept as a number; 0 means "no code"
// (the text lines go out as they stand). Lines never carry CR or LF of their own: a
// client's text echoed in a reply cannot forge a reply line.

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// What a request the server could not carry out on its own side is told (451, 550).
inline constexpr const char* kLocalError = "Requested action aborted: local error in processing.";

enum class ReplyFormat {
  kNormal,    // "ddd-line" ... "ddd last"
  kIndented,  // "ddd-first", " middle" ..., "ddd last" (FEAT, MLST)
};

// A value; copy freely. Not shared between threads.
class Reply {
 public:
  Reply() = default;
  // Throws Error("Reply Code is not valid: ...") for a code outside 100..999 (other than 0).
  explicit Reply(int code, std::string_view text = {});
  Reply(int code, std::vector<std::string> lines, ReplyFormat format = ReplyFormat::kNormal);

  int code() const { return code_; }
  void SetCode(int code);
  const std::vector<std::string>& text() const { return text_; }
  // Splits at CR LF, LF or CR, so a message of several lines gives a reply of several lines.
  void SetText(std::string_view text);
  void SetLines(std::vector<std::string> lines) { text_ = std::move(lines); }
  ReplyFormat format() const { return format_; }
  void SetFormat(ReplyFormat format) { format_ = format; }
  void Clear();

  // The reply as it goes on the wire, every line ending in CR LF.
  std::string Format() const;

 private:
  int code_ = 0;
  std::vector<std::string> text_;
  ReplyFormat format_ = ReplyFormat::kNormal;
};

// Texts by code, for replies that have a code but no text.
using ReplyTextMap = std::map<int, std::vector<std::string>>;

// A path as a reply names it (PWD, MKD, CDUP): in double quotes, with each quote inside
// doubled (RFC 959), so a client reads a name holding quotes back whole.
std::string QuotedPathname(std::string_view path);

// Gives a reply with a code and no text the text of `texts`, or of its hundred ("200 Ok").
void FillEmptyText(Reply& reply, const ReplyTextMap& texts);

}  // namespace vantrel
