#include "single/SeriesFolder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class SeriesFolder : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/melvaro-folder-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    setenv("XDG_CACHE_HOME", (root_ / "cache").c_str(), 1);
  }
  void TearDown() override { fs::remove_all(root_); }

  void Touch(const fs::path& path) { std::ofstream(path) << "x"; }
  std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
      names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path root_;
};

TEST_F(SeriesFolder, TemporaryFoldersLiveInTheCacheFolder) {
  EXPECT_EQ(TemporaryFolder(), root_ / "cache" / "Melvaro" / "tmpfolder");
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("XDG_CACHE_HOME", "relative/cache", 1);  // ignored: not absolute
  setenv("HOME", (root_ / "home").c_str(), 1);
  EXPECT_EQ(TemporaryFolder(), root_ / "home" / ".cache" / "Melvaro" / "tmpfolder");
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_CACHE_HOME", (root_ / "cache").c_str(), 1);

  const fs::path a = MakePrivateSeriesFolder(), b = MakePrivateSeriesFolder();
  EXPECT_NE(a, b);
  EXPECT_EQ(a.parent_path(), root_ / "cache" / "Melvaro");
  EXPECT_TRUE(fs::is_directory(a));
  EXPECT_TRUE(fs::is_empty(b));
}

TEST_F(SeriesFolder, SeriesNamesAreExactlyThreeDigitsPerNumber) {
  EXPECT_EQ(FamilyFileName("/t", 5, 3), fs::path("/t/file_005_003.tif"));
  EXPECT_TRUE(IsSeriesFileName("file_010.tif") && IsSeriesFileName("file_005_003.tif"));
  for (const char* name : {"file_12.tif", "file_0123.tif", "file_001.tiff", "file_001_02.tif",
                           "file_a01.tif", "file_001.tif.bak", "file_001-002.tif"}) {
    EXPECT_FALSE(IsSeriesFileName(name)) << name;
  }
}

TEST_F(SeriesFolder, OwnFolderLosesEveryFileUsersFolderOnlySeriesFilesNeitherASubFolder) {
  const fs::path own = TemporaryFolder(), mine = root_ / "mine";
  for (const fs::path& folder : {own, mine}) {
    fs::create_directories(folder / "file_002.tif");  // a folder, even with a series name, stays
    for (const char* name : {"file_007_003.tif", "file_099.tif", "file_12.tif", "holiday.jpg"})
      Touch(folder / name);
  }
  EXPECT_TRUE(PrepareSeriesFolder(own, FolderCleanup::kEveryFile));
  EXPECT_TRUE(PrepareSeriesFolder(mine, FolderCleanup::kSeriesFilesOnly));
  EXPECT_EQ(Names(own), std::vector<std::string>{"file_002.tif"});
  EXPECT_EQ(Names(mine), (std::vector<std::string>{"file_002.tif", "file_12.tif", "holiday.jpg"}));
  EXPECT_TRUE(PrepareSeriesFolder(root_ / "new" / "folder", FolderCleanup::kEveryFile));
  EXPECT_FALSE(PrepareSeriesFolder(mine / "holiday.jpg", FolderCleanup::kEveryFile));  // a file
}

}  // namespace
