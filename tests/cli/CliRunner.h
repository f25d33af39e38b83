#pragma once
// Runs the built melvaro-cli for end-to-end tests: no shell in between, its
// settings and cache folders inside the test folder (a stray write would
// show there), stdout and stderr kept; where asked, with a limit on the
// size of the files it writes, which fails its writes as a full disk does.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "fusion/SeriesFusion.h"
#include "picture/CBxPicBufAPI.h"
#include "picture/ImageLoad.h"
#include "picture/ImageSave.h"
#include "tests/fusion/TestPictures.h"
#include "tests/support/TestFiles.h"

extern char** environ;

namespace cli_test {

namespace fs = std::filesystem;

// melvaro-cli started with its settings and cache folders inside the test
// folder; stdout and stderr go to files, read when it ends. A fileSizeLimit above 0 limits the
// files the program writes to that many bytes (the signal such a write raises ignored, so the write
// fails instead).
class CliProcess {
 public:
  CliProcess(const TempFolder& folder, const std::vector<std::string>& arguments,
             rlim_t fileSizeLimit = 0)
      : output_(folder / "stdout.txt"), errors_(folder / "stderr.txt") {
    std::vector<std::string> env{"XDG_CONFIG_HOME=" + (folder / "config").string(),
                                 "XDG_CACHE_HOME=" + (folder / "cache").string()};
    for (char** e = environ; *e; ++e) {
      const std::string entry(*e);
      if (!entry.starts_with("XDG_CONFIG_HOME=") && !entry.starts_with("XDG_CACHE_HOME="))
        env.push_back(entry);
    }
    std::vector<std::string> args{MELVARO_CLI_PATH};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv, envp;
    for (std::string& a : args)
      argv.push_back(a.data());
    for (std::string& e : env)
      envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    if (fileSizeLimit > 0) {
      SpawnLimited(argv.data(), envp.data(), fileSizeLimit);
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errors_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    if (posix_spawn(&pid_, MELVARO_CLI_PATH, &actions, nullptr, argv.data(), envp.data()) != 0)
      pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }

  void Interrupt(int signal = SIGINT) const { kill(pid_, signal); }

  // Exit status (-1 when it did not exit normally) and what it said on stdout and stderr.
  int Wait() {
    int raw = 0;
    if (pid_ <= 0 || waitpid(pid_, &raw, 0) != pid_) return -1;
    pid_ = -1;
    outputText = ReadWholeFile(output_);
    errorText = ReadWholeFile(errors_);
    fs::remove(output_);  // leaves the test folder as the tool left it
    fs::remove(errors_);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  ~CliProcess() { Wait(); }

  std::string outputText;
  std::string errorText;

 private:
  // Between fork and exec only calls that are safe in the child of a process with threads.
  void SpawnLimited(char* const* argv, char* const* envp, rlim_t fileSizeLimit) {
    const int out = open(output_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err = open(errors_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out, 1);
      dup2(err, 2);
      struct sigaction ignore {};
      ignore.sa_handler = SIG_IGN;
      sigaction(SIGXFSZ, &ignore, nullptr);
      rlimit limit{};
      getrlimit(RLIMIT_FSIZE, &limit);
      limit.rlim_cur = fileSizeLimit;
      setrlimit(RLIMIT_FSIZE, &limit);
      execve(MELVARO_CLI_PATH, argv, envp);
      _exit(127);
    }
    close(out);
    close(err);
  }

  fs::path output_;
  fs::path errors_;
  pid_t pid_ = -1;
};

struct CliRun {
  int status = -1;
  std::string errors;  // stderr
  std::string output;  // stdout
};

inline CliRun RunCli(const TempFolder& folder, const std::vector<std::string>& arguments,
                     rlim_t fileSizeLimit = 0) {
  CliProcess cli(folder, arguments, fileSizeLimit);
  const int status = cli.Wait();
  return {status, cli.errorText, cli.outputText};
}

// The lines of stderr, and those of them that report an error (the others name the
// stages of the work, written one per line off a terminal).
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}
inline std::vector<std::string> ErrorLines(const std::string& text) {
  std::vector<std::string> errors;
  for (const std::string& line : Lines(text))
    if (line.starts_with("melvaro-cli:")) errors.push_back(line);
  return errors;
}

// Exit status 1 and one error line on stderr that names the file.
inline void ExpectFailureNaming(const CliRun& run, const std::string& name) {
  EXPECT_EQ(run.status, 1) << name;
  const std::vector<std::string> errors = ErrorLines(run.errors);
  ASSERT_EQ(errors.size(), 1u) << run.errors;
  EXPECT_NE(errors.front().find(name), std::string::npos) << run.errors;
}

// Exit status 2, a line on stderr that names `what`, and the folder as it was.
inline void ExpectUsageError(const TempFolder& folder, const std::vector<std::string>& arguments,
                             const std::string& what) {
  const std::vector<std::string> before = folder.Entries();
  const CliRun run = RunCli(folder, arguments);
  EXPECT_EQ(run.status, 2) << what << ": " << run.errors;
  EXPECT_NE(run.errors.find(what), std::string::npos) << run.errors;
  EXPECT_EQ(folder.Entries(), before) << what;
}

// Exit status 0 and no error line on stderr.
inline ::testing::AssertionResult RunsCleanly(const TempFolder& folder,
                                              const std::vector<std::string>& arguments) {
  const CliRun run = RunCli(folder, arguments);
  if (run.status == 0 && ErrorLines(run.errors).empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "exit status " << run.status << ": " << run.errors;
}

// The test scene at an exposure, written as a PNG without metadata (and kept
// in *keep when asked).
inline std::string WriteScene(const TempFolder& folder, const std::string& name, int w, int h,
                              double gain = 1.0, uint32_t components = 3,
                              ScopedPicBuf* keep = nullptr) {
  ScopedPicBuf own;
  SBxPicBuf* pic = keep ? keep->get() : own.get();
  CBxPicBufAPI::ReinitHeap(pic, w, h, components, 8);
  FillScene(pic, gain);
  EXPECT_FALSE(WriteImageFile(pic, nullptr, folder / name, {}, 0, 0));
  return (folder / name).string();
}

// The file holds exactly these samples.
inline void ExpectFileHolds(const fs::path& file, const SBxPicBuf& want) {
  ScopedPicBuf got, mask;
  ASSERT_FALSE(LoadImageFile(got.get(), mask.get(), file)) << file;
  EXPECT_TRUE(SameSamples(*got, want)) << file;
}

// The file holds what the series fusion (as OK runs it) makes of the files.
inline void ExpectFusionOf(std::span<const fs::path> files, uint32_t exposure,
                           const fs::path& file) {
  SeriesFusionRequest request;
  request.files = files;
  request.exposure = exposure;
  ScopedPicBuf want;
  ASSERT_EQ(FuseSeries(request, want.get()).status, SeriesFusionStatus::kFused);
  ExpectFileHolds(file, *want);
}

// A picture file read back (its alpha dropped); a failure to read fails the test.
inline std::unique_ptr<ScopedPicBuf> LoadPicture(const fs::path& file) {
  auto picture = std::make_unique<ScopedPicBuf>();
  ScopedPicBuf mask;
  EXPECT_FALSE(LoadImageFile(picture->get(), mask.get(), file)) << file;
  return picture;
}

// Mean absolute difference of two pictures of one size over a rectangle.
inline double MeanDifference(const SBxPicBuf& a, const SBxPicBuf& b, const CBxRect& r) {
  double sum = 0.0;
  size_t count = 0;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x)
      for (uint32_t c = 0; c < a.components; ++c, ++count)
        sum += std::fabs(SampleAt(a, x, y, c) - static_cast<double>(SampleAt(b, x, y, c)));
  return sum / static_cast<double>(count);
}

// The arguments `head` followed by the files.
inline std::vector<std::string> Args(std::vector<std::string> head,
                                     const std::vector<fs::path>& files) {
  for (const fs::path& file : files)
    head.push_back(file.string());
  return head;
}

}  // namespace cli_test
