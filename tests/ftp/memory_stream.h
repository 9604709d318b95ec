#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "ftp/ftp_stream.h"

namespace vantrel::testing {

// An FtpStream over a string, for checksums of known vectors without a disk.
class MemoryStream final : public FtpStream {
 public:
  explicit MemoryStream(std::string data) : data_(std::move(data)) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    if (position_ >= static_cast<std::int64_t>(data_.size()))
      return 0;
    const std::size_t n = std::min(size, data_.size() - static_cast<std::size_t>(position_));
    std::memcpy(buffer, data_.data() + position_, n);
    position_ += static_cast<std::int64_t>(n);
    return n;
  }
  void Write(const char* data, std::size_t size) override {
    data_.replace(static_cast<std::size_t>(position_), size, data, size);
    position_ += static_cast<std::int64_t>(size);
  }
  void Seek(std::int64_t position) override { position_ = position; }
  std::int64_t Position() const override { return position_; }
  std::int64_t Size() const override { return static_cast<std::int64_t>(data_.size()); }

 private:
  std::string data_;
  std::int64_t position_ = 0;
};

}  // namespace vantrel::testing
