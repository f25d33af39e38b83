// The program's own folders for series files, in the user's cache folder.
#include "jobs/ProgramFolders.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;

TEST(ProgramFolders, TemporaryFoldersLiveInTheCacheFolder) {
  TempFolder root;
  ScopedEnvironment environment;
  environment.Set("XDG_CACHE_HOME", (root / "cache").string());
  EXPECT_EQ(TemporaryFolder(), root / "cache" / "Melvaro" / "tmpfolder");
  environment.Set("XDG_CACHE_HOME", "relative/cache");  // ignored: not absolute
  environment.Set("HOME", (root / "home").string());
  EXPECT_EQ(TemporaryFolder(), root / "home" / ".cache" / "Melvaro" / "tmpfolder");
  environment.Set("XDG_CACHE_HOME", (root / "cache").string());

  // A folder a killed run left (its process gone) goes; one of a running process stays.
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  waitpid(ended, nullptr, 0);
  const fs::path left = root / "cache" / "Melvaro" / ("series-" + std::to_string(ended) + "-ab");
  const fs::path running =
      root / "cache" / "Melvaro" / ("series-" + std::to_string(getppid()) + "-cd");
  fs::create_directories(left / "sub");
  fs::create_directories(running);
  const fs::path a = MakePrivateSeriesFolder(), b = MakePrivateSeriesFolder();
  EXPECT_NE(a, b);
  EXPECT_EQ(a.parent_path(), root / "cache" / "Melvaro");
  EXPECT_TRUE(fs::is_directory(a) && fs::is_empty(b));
  EXPECT_FALSE(fs::exists(left));
  EXPECT_TRUE(fs::exists(running));
  EXPECT_NE(a.filename().string().find("series-" + std::to_string(getpid()) + "-"),
            std::string::npos);
}
