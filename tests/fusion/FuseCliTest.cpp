// `melvaro-cli fuse` end to end: real files in, a file out, and the refusals
// a script relies on (exit status 1, the file named, nothing written).
#include <gtest/gtest.h>

#include <FreeImage.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/fusion/TestPictures.h"

namespace fs = std::filesystem;

namespace {

class FuseCli : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("melvaro-fuse-cli-" + std::to_string(::getpid()) + "-" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Writes an 8-bit colour PNG of the test scene at some exposure.
  fs::path WriteScene(const std::string& name, int w, int h, double gain) {
    ScopedPicBuf pic(w, h, 3, 8);
    FillScene(pic.get(), gain);
    FIBITMAP* bitmap = FreeImage_Allocate(w, h, 24);
    for (int y = 0; y < h; ++y) {
      BYTE* line = FreeImage_GetScanLine(bitmap, h - 1 - y);  // bitmaps are bottom-up
      std::copy_n(RowPtr(*pic, y), static_cast<size_t>(w) * 3, line);
    }
    const fs::path path = dir_ / name;
    EXPECT_TRUE(FreeImage_Save(FIF_PNG, bitmap, path.c_str(), 0));
    FreeImage_Unload(bitmap);
    return path;
  }

  // Runs melvaro-cli with the arguments; returns its exit status.
  int Run(const std::vector<std::string>& args) {
    std::string command = "'" MELVARO_CLI_PATH "' --quiet";
    for (const std::string& a : args) command += " '" + a + "'";
    command += " >/dev/null 2>'" + (dir_ / "stderr.txt").string() + "'";
    const int status = std::system(command.c_str());
    std::ifstream err(dir_ / "stderr.txt");
    std::stringstream text;
    text << err.rdbuf();
    stderr_ = text.str();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The files left in the folder besides the inputs and the captured stderr.
  std::vector<fs::path> Outputs(const std::vector<fs::path>& inputs) const {
    std::vector<fs::path> left;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      const fs::path p = entry.path();
      if (p.filename() != "stderr.txt" && std::find(inputs.begin(), inputs.end(), p) == inputs.end())
        left.push_back(p);
    }
    return left;
  }

  fs::path dir_;
  std::string stderr_;
};

FIBITMAP* LoadBitmap(const fs::path& path) {
  return FreeImage_Load(FreeImage_GetFileType(path.c_str(), 0), path.c_str(), 0);
}

}  // namespace

TEST_F(FuseCli, FusesABracketedSeriesIntoOnePicture) {
  const fs::path a = WriteScene("a.png", 120, 90, 0.5), b = WriteScene("b.png", 120, 90, 1.0),
                 c = WriteScene("c.png", 120, 90, 1.6);
  const fs::path out = dir_ / "fused.tif";
  ASSERT_EQ(Run({"fuse", "-o", out.string(), a.string(), b.string(), c.string()}), 0) << stderr_;
  FIBITMAP* fused = LoadBitmap(out);
  ASSERT_NE(fused, nullptr);
  EXPECT_EQ(FreeImage_GetWidth(fused), 120u);
  EXPECT_EQ(FreeImage_GetHeight(fused), 90u);
  EXPECT_EQ(FreeImage_GetBPP(fused), 24u);
  // Neither the darkest nor the brightest picture: about the middle one.
  double sum = 0.0;
  for (unsigned y = 0; y < 90; ++y) {
    const BYTE* line = FreeImage_GetScanLine(fused, y);
    for (unsigned i = 0; i < 120 * 3; ++i) sum += line[i];
  }
  const double mean = sum / (120.0 * 90 * 3);
  FreeImage_Unload(fused);
  ScopedPicBuf middle(120, 90, 3, 8);
  FillScene(middle.get(), 1.0);
  EXPECT_NEAR(mean, MeanSample(*middle), 0.2 * MeanSample(*middle));
}

TEST_F(FuseCli, ExposureIsLimitedToItsRange) {
  const fs::path a = WriteScene("a.png", 64, 48, 0.6), b = WriteScene("b.png", 64, 48, 1.4);
  const fs::path high = dir_ / "high.png", limit = dir_ / "limit.png";
  ASSERT_EQ(Run({"fuse", "--exposure", "500", "-o", high.string(), a.string(), b.string()}), 0);
  ASSERT_EQ(Run({"fuse", "--exposure", "160", "-o", limit.string(), a.string(), b.string()}), 0);
  std::ifstream x(high, std::ios::binary), y(limit, std::ios::binary);
  std::stringstream bx, by;
  bx << x.rdbuf();
  by << y.rdbuf();
  EXPECT_EQ(bx.str(), by.str());
}

TEST_F(FuseCli, FusesTheBundledSeries) {
  const fs::path dir = fs::path(MELVARO_SAMPLES_DIR) / "bracketed" / "stlouis";
  std::vector<std::string> args = {"fuse", "-o", (dir_ / "stlouis.jpg").string()};
  for (int i = 0; i < 4; ++i) args.push_back((dir / ("stlouis" + std::to_string(i) + ".jpg")).string());
  ASSERT_EQ(Run(args), 0) << stderr_;
  FIBITMAP* fused = LoadBitmap(dir_ / "stlouis.jpg");
  ASSERT_NE(fused, nullptr);
  EXPECT_EQ(FreeImage_GetWidth(fused), 1408u);
  EXPECT_EQ(FreeImage_GetHeight(fused), 1056u);
  FreeImage_Unload(fused);
}

// Each refusal: exit status 1, a message naming the file, and no output.
TEST_F(FuseCli, BadInputsAreRefusedWithTheFileNamed) {
  const fs::path a = WriteScene("a.png", 64, 48, 0.7), b = WriteScene("b.png", 64, 48, 1.2);
  const fs::path wide = WriteScene("wide.png", 65, 48, 1.0);
  const fs::path text = dir_ / "notes.png";
  std::ofstream(text) << "not a picture\n";
  const fs::path missing = dir_ / "missing.png";
  const fs::path out = dir_ / "out.png";
  const std::vector<fs::path> inputs = {a, b, wide, text};
  struct Case {
    std::vector<std::string> files;
    fs::path named;
  };
  const Case cases[] = {
      {{a.string()}, a},
      {{a.string(), missing.string(), b.string()}, missing},
      {{a.string(), b.string(), wide.string()}, wide},
      {{a.string(), text.string(), b.string()}, text},
      {{text.string(), a.string()}, text},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.named.filename().string());
    std::vector<std::string> args = {"fuse", "-o", out.string()};
    args.insert(args.end(), k.files.begin(), k.files.end());
    EXPECT_EQ(Run(args), 1);
    EXPECT_NE(stderr_.find(k.named.string()), std::string::npos) << stderr_;
    EXPECT_TRUE(Outputs(inputs).empty());
  }
}
