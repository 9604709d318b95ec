#pragma once

#include <algorithm>
#include <cstring>
#include <stdexcept>
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

// A long stream of known bytes without a file behind it: byte i is 'a' + i % 26.
class PatternStream final : public FtpStream {
 public:
  explicit PatternStream(std::int64_t size) : size_(size) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(
        static_cast<std::int64_t>(size), std::max<std::int64_t>(0, size_ - position_)));
    for (std::size_t i = 0; i < n; ++i)
      buffer[i] = static_cast<char>('a' + (position_ + static_cast<std::int64_t>(i)) % 26);
    position_ += static_cast<std::int64_t>(n);
    return n;
  }
  void Write(const char*, std::size_t) override { throw std::runtime_error("read only"); }
  void Seek(std::int64_t position) override { position_ = position; }
  std::int64_t Position() const override { return position_; }
  std::int64_t Size() const override { return size_; }

 private:
  std::int64_t size_;
  std::int64_t position_ = 0;
};

// A stream whose disk is full (writes) or broken (reads) after `good` bytes.
class FailingStream final : public FtpStream {
 public:
  explicit FailingStream(std::size_t good) : good_(good) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    if (position_ >= good_)
      throw std::runtime_error("cannot read: Input/output error");
    const std::size_t n = std::min(size, good_ - position_);
    std::memset(buffer, 'r', n);
    position_ += n;
    return n;
  }
  void Write(const char*, std::size_t size) override {
    if (position_ + size > good_)
      throw std::runtime_error("cannot write: No space left on device");
    position_ += size;
  }
  void Seek(std::int64_t position) override { position_ = static_cast<std::size_t>(position); }
  std::int64_t Position() const override { return static_cast<std::int64_t>(position_); }
  std::int64_t Size() const override { return static_cast<std::int64_t>(position_); }

 private:
  std::size_t good_;
  std::size_t position_ = 0;
};

}  // namespace vantrel::testing
