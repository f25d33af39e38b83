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

TEST_F(SeriesFolder, NamesOfTheTwoSeries) {
  EXPECT_EQ(SeriesFileName("/t", 7), fs::path("/t/file_007.tif"));
  EXPECT_EQ(FamilyFileName("/t", 5, 3), fs::path("/t/file_005_003.tif"));
  for (const char* name :
       {"file_000.tif", "file_010.tif", "file_005_003.tif", "file_999_999.tif"}) {
    EXPECT_TRUE(IsSeriesFileName(name)) << name;
  }
  for (const char* name :
       {"file_12.tif", "file_0123.tif", "file_001.tiff", "file_001.TIF", "file_001_02.tif",
        "file_a01.tif", "xfile_001.tif", "file_001.tif.bak", "file_001-002.tif", "file_.tif"}) {
    EXPECT_FALSE(IsSeriesFileName(name)) << name;
  }
}

TEST_F(SeriesFolder, OwnFolderIsCreatedAndLosesEveryFileButNoSubFolder) {
  const fs::path folder = TemporaryFolder();
  EXPECT_TRUE(PrepareSeriesFolder(folder, FolderCleanup::kEveryFile));
  EXPECT_TRUE(fs::is_directory(folder));
  fs::create_directories(folder / "keep");
  Touch(folder / "keep" / "file_001.tif");
  Touch(folder / "notes.txt");
  Touch(folder / "file_099.tif");
  EXPECT_TRUE(PrepareSeriesFolder(folder, FolderCleanup::kEveryFile));
  EXPECT_EQ(Names(folder), std::vector<std::string>{"keep"});
  EXPECT_TRUE(fs::exists(folder / "keep" / "file_001.tif"));
}

TEST_F(SeriesFolder, UserFolderLosesOnlyEarlierSeriesFiles) {
  const fs::path folder = root_ / "mine";
  fs::create_directories(folder / "file_002.tif");  // a folder with a series name stays
  for (const char* name : {"file_007_003.tif", "file_099.tif", "file_12.tif", "holiday.jpg"}) {
    Touch(folder / name);
  }
  EXPECT_TRUE(PrepareSeriesFolder(folder, FolderCleanup::kSeriesFilesOnly));
  EXPECT_EQ(Names(folder),
            (std::vector<std::string>{"file_002.tif", "file_12.tif", "holiday.jpg"}));
}

TEST_F(SeriesFolder, FolderThatCannotBeMadeIsReported) {
  Touch(root_ / "plain");
  EXPECT_FALSE(PrepareSeriesFolder(root_ / "plain", FolderCleanup::kEveryFile));
  EXPECT_FALSE(PrepareSeriesFolder(root_ / "plain" / "below", FolderCleanup::kEveryFile));
  EXPECT_FALSE(PrepareSeriesFolder({}, FolderCleanup::kEveryFile));
  EXPECT_TRUE(fs::exists(root_ / "plain"));
}

}  // namespace
