// The folder one run writes its series into: held for the run, refused to a second run.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "jobs/ProgramFolders.h"
#include "jobs/SeriesPipeline.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TestFiles.h"

namespace {

namespace fs = std::filesystem;

// Whether another process finds the folder in use: the child tries a lease of its own.
bool InUseForAnotherRun(const fs::path& folder) {
  const pid_t child = fork();
  if (child == 0) _exit(SeriesFolderLease::UserFolder(folder).InUse() ? 0 : 1);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(SeriesFolderLease, AFolderInUseByAnotherRunIsRefusedUntilItsLeaseEnds) {
  TempFolder root;
  const fs::path folder = root / "mine" / "series";
  {
    const SeriesFolderLease lease = SeriesFolderLease::UserFolder(folder);
    EXPECT_TRUE(lease.Usable());
    EXPECT_FALSE(lease.InUse());
    EXPECT_TRUE(fs::is_directory(folder));  // created when missing
    EXPECT_TRUE(InUseForAnotherRun(folder));
    // A second lease in this process is another run's as well.
    const SeriesFolderLease second = SeriesFolderLease::UserFolder(folder);
    EXPECT_TRUE(second.InUse());
    // Moving the lease keeps the folder held.
    const SeriesFolderLease moved(SeriesFolderLease::UserFolder(root / "other"));
    EXPECT_FALSE(moved.InUse());
    EXPECT_TRUE(InUseForAnotherRun(root / "other"));
  }
  EXPECT_FALSE(InUseForAnotherRun(folder));
  EXPECT_TRUE(fs::is_directory(folder));  // the user's folder stays
}

TEST(SeriesFolderLease, APrivateFolderGoesWithItsLeaseAndTheProgramFolderStays) {
  TempFolder root;
  ScopedEnvironment environment;
  environment.Set("XDG_CACHE_HOME", (root / "cache").string());
  fs::path made;
  {
    SeriesFolderLease lease = SeriesFolderLease::Private();
    ASSERT_TRUE(lease.Usable());
    made = lease.Folder();
    EXPECT_EQ(made.parent_path(), TemporaryFolder().parent_path());
    WriteTextFile(made / "file_000.tif", "x");
    const SeriesTarget target = lease.Target(SeriesRequest{SeriesKind::kSingle, 1, 70});
    EXPECT_EQ(target.folder, made);
    EXPECT_EQ(target.cleanup, FolderCleanup::kEveryFile);
    EXPECT_EQ(target.jpegQuality, 70);
    const SeriesFolderLease moved(std::move(lease));  // the moved-from lease removes nothing
    EXPECT_TRUE(fs::exists(made / "file_000.tif"));
  }
  EXPECT_FALSE(fs::exists(made));
  {
    const SeriesFolderLease program = SeriesFolderLease::ProgramFolder();
    EXPECT_EQ(program.Folder(), TemporaryFolder());
    EXPECT_EQ(program.Target({}).cleanup, FolderCleanup::kEveryFile);
    EXPECT_EQ(SeriesFolderLease::UserFolder(root / "u").Target({}).cleanup,
              FolderCleanup::kSeriesFilesOnly);
  }
  EXPECT_TRUE(fs::is_directory(TemporaryFolder()));
}

}  // namespace
