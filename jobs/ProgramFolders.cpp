#include "jobs/ProgramFolders.h"

#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <system_error>

#include "files/StaleFiles.h"
#include "files/UserFolders.h"

namespace fs = std::filesystem;

fs::path TemporaryFolder() {
  const fs::path cache = UserCacheFolder();
  if (cache.empty()) return {};
  return cache / "Melvaro" / "tmpfolder";
}

fs::path MakePrivateSeriesFolder() {
  const fs::path parent = TemporaryFolder().parent_path();
  if (parent.empty()) return {};
  std::error_code ec;
  fs::create_directories(parent, ec);
  RemoveStaleFolders(parent, "series-");
  // The process id in the name tells a later run whether the folder's owner still runs.
  std::string pattern = (parent / ("series-" + std::to_string(::getpid()) + "-XXXXXX")).string();
  if (!::mkdtemp(pattern.data())) return {};
  return pattern;
}
