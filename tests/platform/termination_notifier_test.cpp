#include "platform/termination_notifier.h"

#include <gtest/gtest.h>

#include <csignal>

#include "platform/file_system.h"

namespace vantrel::platform {
namespace {

TEST(TerminationNotifier, SignalsBecomeAReadableRequestInsteadOfAnEnd) {
  TerminationNotifier notifier;
  EXPECT_GE(notifier.descriptor(), 0);
  EXPECT_FALSE(notifier.Consume());
  for (const int signal : {SIGTERM, SIGINT, SIGTERM})
    ASSERT_EQ(std::raise(signal), 0);
  EXPECT_TRUE(notifier.Consume()) << "the process is still here and was told";
  EXPECT_FALSE(notifier.Consume()) << "three requests are consumed as one";

  EXPECT_THROW(TerminationNotifier second, FileError) << "the handler serves one notifier";
}

TEST(TerminationNotifier, ANewNotifierWorksAfterTheOldOneIsGone) {
  { TerminationNotifier first; }
  TerminationNotifier again;
  ASSERT_EQ(std::raise(SIGINT), 0);
  EXPECT_TRUE(again.Consume());
}

}  // namespace
}  // namespace vantrel::platform
