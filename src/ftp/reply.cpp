#include "ftp/reply.h"

#include "common/error.h"

namespace vantrel {
namespace {

std::string Sanitized(std::string_view line) {
  std::string clean(line);
  for (char& c : clean) {
    if (c == '\r' || c == '\n' || c == '\0')
      c = ' ';
  }
  return clean;
}

const char* HundredText(int code) {
  switch (code / 100) {
    case 1:
      return "Information";
    case 2:
      return "Ok";
    case 3:
      return "Temporary Error";
    case 4:
      return "Permanent Error";
    default:
      return "Unknown Internal Error";
  }
}

}  // namespace

Reply::Reply(int code, std::string_view text) {
  SetCode(code);
  SetText(text);
}

Reply::Reply(int code, std::vector<std::string> lines, ReplyFormat format)
    : text_(std::move(lines)), format_(format) {
  SetCode(code);
}

void Reply::SetCode(int code) {
  if (code != 0 && (code < 100 || code > 999)) {
    throw Error("Reply Code is not valid: " + std::to_string(code));
  }
  code_ = code;
}

void Reply::SetText(std::string_view text) {
  text_.clear();
  if (text.empty())
    return;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      text_.emplace_back(text.substr(start));
      break;
    }
    text_.emplace_back(text.substr(start, end - start));
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    if (start == text.size())
      break;  // a final line break ends the text, adds no line
  }
}

void Reply::Clear() {
  code_ = 0;
  text_.clear();
  format_ = ReplyFormat::kNormal;
}

std::string Reply::Format() const {
  std::string out;
  if (code_ == 0) {
    for (const auto& line : text_)
      out += Sanitized(line) + "\r\n";
    return out;
  }
  const std::string digits = std::to_string(code_);
  if (text_.empty())
    return digits + "\r\n";
  for (std::size_t i = 0; i < text_.size(); ++i) {
    const bool last = i + 1 == text_.size();
    if (last) {
      out += digits + " ";
    } else if (i == 0 || format_ == ReplyFormat::kNormal) {
      out += digits + "-";
    } else {
      out += " ";
    }
    out += Sanitized(text_[i]) + "\r\n";
  }
  return out;
}

void FillEmptyText(Reply& reply, const ReplyTextMap& texts) {
  if (reply.code() == 0 || !reply.text().empty())
    return;
  const auto found = texts.find(reply.code());
  if (found != texts.end() && !found->second.empty()) {
    reply.SetLines(found->second);
  } else {
    reply.SetLines({HundredText(reply.code())});
  }
}

std::string QuotedPathname(std::string_view path) {
  std::string quoted = "\"";
  for (const char c : path) {
    quoted += c;
    if (c == '"')
      quoted += '"';
  }
  return quoted + '"';
}

}  // namespace vantrel
