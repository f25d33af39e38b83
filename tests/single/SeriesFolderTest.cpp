#include "single/SeriesFolder.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/single/TestHelpers.h"

namespace fs = std::filesystem;

namespace {

using SeriesFolder = ScratchFolderTest;

// The user's folder loses only names of exactly three digits per number.
TEST_F(SeriesFolder, OwnFolderLosesEveryFileUsersFolderOnlySeriesFilesNeitherASubFolder) {
  const fs::path own = root_ / "own", mine = root_ / "mine";
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
