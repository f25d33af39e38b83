#include "files/UserFolders.h"

#include <gtest/gtest.h>

#include "tests/support/ScopedEnvironment.h"

namespace fs = std::filesystem;

// Each base folder: its variable when absolute, else under the home folder; a relative value
// is ignored, as the base-directory convention asks, and so is an empty one.
TEST(UserFolders, AnAbsoluteVariableWinsElseTheHomeFolderIsUsed) {
  ScopedEnvironment environment;
  environment.Set("HOME", "/home/somebody");
  const struct {
    const char* variable;
    fs::path (*folder)();
    const char* underHome;
  } kinds[] = {{"XDG_CONFIG_HOME", UserConfigFolder, ".config"},
               {"XDG_CACHE_HOME", UserCacheFolder, ".cache"}};
  for (const auto& kind : kinds) {
    environment.Set(kind.variable, "/elsewhere/base");
    EXPECT_EQ(kind.folder(), fs::path("/elsewhere/base")) << kind.variable;
    for (const char* ignored : {"relative/base", ""}) {
      environment.Set(kind.variable, ignored);
      EXPECT_EQ(kind.folder(), fs::path("/home/somebody") / kind.underHome) << kind.variable;
    }
    environment.Set(kind.variable, std::nullopt);
    EXPECT_EQ(kind.folder(), fs::path("/home/somebody") / kind.underHome) << kind.variable;
  }
  // Without HOME the password database names the home folder, absolute.
  environment.Set("HOME", std::nullopt);
  EXPECT_TRUE(HomeFolder().empty() || HomeFolder().is_absolute());
  EXPECT_EQ(UserCacheFolder().empty(), HomeFolder().empty());
}
