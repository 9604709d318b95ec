#include "platform/sized_thread.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <system_error>
#include <utility>

namespace vantrel::platform {
namespace {

static_assert(sizeof(pthread_t) <= sizeof(unsigned long), "a thread handle fits the field");

void* RunBody(void* argument) {
  const std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
  (*body)();
  return nullptr;
}

std::size_t RoundedStack(std::size_t bytes) {
  const long page = ::sysconf(_SC_PAGESIZE);
  const std::size_t unit = page > 0 ? static_cast<std::size_t>(page) : 4096;
  const std::size_t least = PTHREAD_STACK_MIN;
  bytes = std::max(bytes, least);
  return (bytes + unit - 1) / unit * unit;
}

// Owns a pthread attribute object for the length of one start.
class StackAttributes {
 public:
  explicit StackAttributes(std::size_t stack_bytes) {
    if (const int failure = ::pthread_attr_init(&attributes_); failure != 0)
      throw std::system_error(failure, std::generic_category(), "cannot start a thread");
    if (const int failure = ::pthread_attr_setstacksize(&attributes_, RoundedStack(stack_bytes));
        failure != 0) {
      ::pthread_attr_destroy(&attributes_);
      throw std::system_error(failure, std::generic_category(), "cannot size a thread's stack");
    }
  }
  ~StackAttributes() { ::pthread_attr_destroy(&attributes_); }
  StackAttributes(const StackAttributes&) = delete;
  StackAttributes& operator=(const StackAttributes&) = delete;

  const pthread_attr_t* get() const { return &attributes_; }

 private:
  pthread_attr_t attributes_;
};

}  // namespace

SizedThread::SizedThread(std::size_t stack_bytes, std::function<void()> body) {
  const StackAttributes attributes(stack_bytes);
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  pthread_t handle;
  if (const int failure = ::pthread_create(&handle, attributes.get(), RunBody, owned.get());
      failure != 0) {
    throw std::system_error(failure, std::generic_category(), "cannot start a thread");
  }
  owned.release();  // the thread owns it now
  handle_ = static_cast<unsigned long>(handle);
  started_ = true;
}

SizedThread::SizedThread(SizedThread&& other) noexcept
    : handle_(other.handle_), started_(std::exchange(other.started_, false)) {}

SizedThread& SizedThread::operator=(SizedThread&& other) noexcept {
  if (this != &other) {
    if (started_)
      std::terminate();
    handle_ = other.handle_;
    started_ = std::exchange(other.started_, false);
  }
  return *this;
}

SizedThread::~SizedThread() {
  if (started_)
    std::terminate();
}

void SizedThread::Join() {
  if (!started_)
    throw std::system_error(std::make_error_code(std::errc::invalid_argument), "no thread to join");
  if (IsCurrent())
    throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur),
                            "a thread cannot join itself");
  if (const int failure = ::pthread_join(static_cast<pthread_t>(handle_), nullptr); failure != 0)
    throw std::system_error(failure, std::generic_category(), "cannot join a thread");
  started_ = false;
}

bool SizedThread::IsCurrent() const {
  return started_ && ::pthread_equal(static_cast<pthread_t>(handle_), ::pthread_self()) != 0;
}

}  // namespace vantrel::platform
