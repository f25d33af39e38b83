#include "files/AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <iterator>

#include "tests/settings/SettingsTestSupport.h"

namespace fs = std::filesystem;

namespace {

std::size_t EntriesIn(const fs::path& folder) {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

}  // namespace

// A failure the caller reports (an encoder's), or none: the target is replaced
// only when nothing failed, keeps its permissions, and no temporary file stays.
TEST(AtomicFile, ReplacesTheTargetOnlyWhenNothingFailed) {
  TempFolder temp;
  const fs::path target = temp.path / "picture.png";
  WriteFile(target, "old");
  ::chmod(target.c_str(), 0640);
  {
    AtomicFile file(target);
    ASSERT_TRUE(file.Good());
    EXPECT_EQ(file.TemporaryPath().parent_path(), temp.path);
    EXPECT_TRUE(file.Write("new", 3));
    file.Fail(std::errc::io_error);
    EXPECT_FALSE(file.Write("more", 4));
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(file.Error(), std::errc::io_error);
  }
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_EQ(EntriesIn(temp.path), 1u);
  {
    AtomicFile file(target);
    EXPECT_TRUE(file.Write("new", 3));
    EXPECT_TRUE(file.Seek(0, SEEK_SET));
    EXPECT_TRUE(file.Write("N", 1));
    EXPECT_TRUE(file.Commit());
  }
  EXPECT_EQ(ReadFile(target), "New");
  EXPECT_EQ(fs::status(target).permissions(), static_cast<fs::perms>(0640));
  EXPECT_EQ(EntriesIn(temp.path), 1u);
  {
    AtomicFile abandoned(temp.path / "never.png");  // destroyed without Commit
    EXPECT_TRUE(abandoned.Write("x", 1));
  }
  EXPECT_EQ(EntriesIn(temp.path), 1u);
}

TEST(AtomicFile, FinalLinkTargetFollowsRelativeLinksAndRefusesLoops) {
  TempFolder temp;
  fs::create_directory(temp.path / "sub");
  fs::create_symlink("sub/b", temp.path / "a");
  fs::create_symlink("../c", temp.path / "sub" / "b");  // c does not exist yet
  fs::create_symlink("loop", temp.path / "loop");
  EXPECT_EQ(FinalLinkTarget(temp.path / "a"), temp.path / "sub" / ".." / "c");
  EXPECT_EQ(FinalLinkTarget(temp.path / "plain"), temp.path / "plain");
  EXPECT_EQ(FinalLinkTarget(temp.path / "loop"), fs::path());
  AtomicFile looped(temp.path / "loop");
  EXPECT_FALSE(looped.Good());
  EXPECT_FALSE(looped.Commit());
}

TEST(AtomicFile, TheNextWriteRemovesWhatAKilledWriteOfTheSameFileLeft) {
  TempFolder temp;
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  waitpid(ended, nullptr, 0);
  const fs::path left = temp.path / (".out.part-" + std::to_string(ended) + "-0.png");
  const fs::path running = temp.path / (".out.part-" + std::to_string(getppid()) + "-0.png");
  const fs::path other = temp.path / (".other.part-" + std::to_string(ended) + "-0.png");
  for (const fs::path& path : {left, running, other})
    WriteFile(path, "x");
  AtomicFile file(temp.path / "out.png");
  EXPECT_TRUE(file.Write("new", 3));
  EXPECT_TRUE(file.Commit());
  EXPECT_FALSE(fs::exists(left));
  EXPECT_TRUE(fs::exists(running));  // its writer still runs
  EXPECT_TRUE(fs::exists(other));    // another file's business
}
