#include "app/single_instance.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/qt_printers.h"
#include "support/temp_dir.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

constexpr int kStartTimeoutMs = 30000;

// A copy of the real program in a directory of its own, which is also its data directory,
// sharing one runtime directory (and so one single-copy socket) with the other copies.
class ProgramCopy {
 public:
  ProgramCopy(const TempDir& runtime, const TempDir& home) {
    fs::copy_file(VANTREL_PROGRAM, home.File("vantrel"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.path()));
    process_.setProcessEnvironment(environment);
    process_.setProgram(QString::fromStdString(home.File("vantrel")));
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  }
  ~ProgramCopy() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished();
    }
  }

  QProcess& process() { return process_; }

 private:
  QProcess process_;
};

QStringList FilesIn(const TempDir& dir) {
  QStringList names = QDir(QString::fromStdString(dir.path())).entryList(QDir::Files);
  names.sort();
  return names;
}

TEST(SingleInstance, ASecondCopyShowsTheFirstAndLeavesEverythingAlone) {
  TempDir runtime;
  fs::permissions(runtime.path(), fs::perms::owner_all, fs::perm_options::replace);
  const QString socket = QString::fromStdString(runtime.File("vantrel.socket"));
  TempDir first_home;
  TempDir second_home;

  ProgramCopy first(runtime, first_home);
  first.process().start();
  ASSERT_TRUE(first.process().waitForStarted());
  ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(socket); }, kStartTimeoutMs))
      << "the first copy never started listening";

  ProgramCopy second(runtime, second_home);
  second.process().start();
  ASSERT_TRUE(second.process().waitForFinished(kStartTimeoutMs)) << "the second copy kept running";
  EXPECT_EQ(second.process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.process().exitCode(), 0) << "0 means the first copy confirmed the restore";
  EXPECT_EQ(FilesIn(second_home), QStringList({"vantrel"})) << "the second copy wrote nothing";

  EXPECT_EQ(first.process().state(), QProcess::Running);
  first.process().terminate();
  ASSERT_TRUE(first.process().waitForFinished(kStartTimeoutMs));
  EXPECT_EQ(first.process().exitCode(), 0);
  EXPECT_EQ(FilesIn(first_home),
            QStringList({"ftpmembers.lst", "ftpsettings.lst", "httpspecialfiles.lst",
                         "mainftpsettings.lst", "vantrel"}))
      << "a termination request closes like the window does, saving everything";
  EXPECT_FALSE(QFileInfo::exists(socket)) << "the socket goes with the first copy";

  // With the first copy gone, the next one runs instead of asking.
  TempDir third_home;
  ProgramCopy third(runtime, third_home);
  third.process().start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(socket); }, kStartTimeoutMs));
  EXPECT_EQ(third.process().state(), QProcess::Running);
}

TEST(SingleInstance, AStaleSocketFileDoesNotBlockTheFirstCopy) {
  TempDir runtime;
  const QString socket = QString::fromStdString(runtime.File("vantrel.socket"));
  { std::ofstream stale(runtime.File("vantrel.socket")); }
  SingleInstance instance(socket);
  EXPECT_EQ(instance.Claim(), SingleInstance::Outcome::kFirst);
}

TEST(SingleInstance, AReleasedCopyLetsTheCopyItStartsRunFirst) {
  TempDir runtime;
  const QString socket = QString::fromStdString(runtime.File("vantrel.socket"));
  SingleInstance restarting(socket);
  ASSERT_EQ(restarting.Claim(), SingleInstance::Outcome::kFirst);
  restarting.Release();
  SingleInstance next(socket);
  EXPECT_EQ(next.Claim(), SingleInstance::Outcome::kFirst);
}

}  // namespace
}  // namespace vantrel
