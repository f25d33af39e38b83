#include "files/UserFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The variable's value when it is an absolute path, else `fallback` under the home folder.
fs::path BaseFolder(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  if (value != nullptr && value[0] == '/') return value;
  const fs::path home = HomeFolder();
  return home.empty() ? fs::path() : home / fallback;
}

}  // namespace

fs::path HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') return home;
  const long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(hint > 0 ? static_cast<std::size_t>(hint) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/')
    return found->pw_dir;
  return {};
}

fs::path UserConfigFolder() {
  return BaseFolder("XDG_CONFIG_HOME", ".config");
}

fs::path UserCacheFolder() {
  return BaseFolder("XDG_CACHE_HOME", ".cache");
}
