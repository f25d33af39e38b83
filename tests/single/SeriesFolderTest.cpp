#include "single/SeriesFolder.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "tests/single/TestHelpers.h"

namespace fs = std::filesystem;

namespace {

using SeriesFolder = ScratchFolderTest;

TEST_F(SeriesFolder, TemporaryFoldersLiveInTheCacheFolder) {
  EXPECT_EQ(TemporaryFolder(), root_ / "cache" / "Melvaro" / "tmpfolder");
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("XDG_CACHE_HOME", "relative/cache", 1);  // ignored: not absolute
  setenv("HOME", (root_ / "home").c_str(), 1);
  EXPECT_EQ(TemporaryFolder(), root_ / "home" / ".cache" / "Melvaro" / "tmpfolder");
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_CACHE_HOME", (root_ / "cache").c_str(), 1);

  // A folder a killed run left (its process gone) goes; one of a running process stays.
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  waitpid(ended, nullptr, 0);
  const fs::path left = root_ / "cache" / "Melvaro" / ("series-" + std::to_string(ended) + "-ab");
  const fs::path running =
      root_ / "cache" / "Melvaro" / ("series-" + std::to_string(getppid()) + "-cd");
  fs::create_directories(left / "sub");
  fs::create_directories(running);
  const fs::path a = MakePrivateSeriesFolder(), b = MakePrivateSeriesFolder();
  EXPECT_NE(a, b);
  EXPECT_EQ(a.parent_path(), root_ / "cache" / "Melvaro");
  EXPECT_TRUE(fs::is_directory(a) && fs::is_empty(b));
  EXPECT_FALSE(fs::exists(left));
  EXPECT_TRUE(fs::exists(running));
  EXPECT_NE(a.filename().string().find("series-" + std::to_string(getpid()) + "-"),
            std::string::npos);
}

// The user's folder loses only names of exactly three digits per number.
TEST_F(SeriesFolder, OwnFolderLosesEveryFileUsersFolderOnlySeriesFilesNeitherASubFolder) {
  const fs::path own = TemporaryFolder(), mine = root_ / "mine";
  std::vector<std::string> kept = {"file_12.tif",      "file_0123.tif", "file_001.tiff",
                                   "file_001_02.tif",  "file_a01.tif",  "file_001.tif.bak",
                                   "file_001-002.tif", "holiday.jpg"};
  for (const fs::path& folder : {own, mine}) {
    fs::create_directories(folder / "file_002.tif");  // a folder, even with a series name, stays
    for (const std::string& name : kept)
      std::ofstream(folder / name) << "x";
    std::ofstream(folder / "file_007_003.tif") << "x";
    std::ofstream(folder / "file_099.tif") << "x";
  }
  EXPECT_TRUE(PrepareSeriesFolder(own, FolderCleanup::kEveryFile));
  EXPECT_TRUE(PrepareSeriesFolder(mine, FolderCleanup::kSeriesFilesOnly));
  EXPECT_EQ(FileNames(own), std::vector<std::string>{"file_002.tif"});
  kept.push_back("file_002.tif");
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(FileNames(mine), kept);
  EXPECT_TRUE(PrepareSeriesFolder(root_ / "new" / "folder", FolderCleanup::kEveryFile));
  EXPECT_FALSE(PrepareSeriesFolder(mine / "file_12.tif", FolderCleanup::kEveryFile));  // a file
}

}  // namespace
