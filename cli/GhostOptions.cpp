#include "cli/GhostOptions.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string_view>

#include "cli/CliCommon.h"
#include "cli/CliOptions.h"
#include "settings/Parameters.h"

namespace {

constexpr std::string_view kDeghostFlag = "--deghost";

bool IsWholeNumber(const std::string& text) {
  return !text.empty() && text.size() <= 3 &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

}  // namespace

CLI::Option* AddDeghostOption(CLI::App* command, int* strength) {
  return AddParameterOption(command, std::string(kDeghostFlag), strength,
                            parameter::kDeghostStrength,
                            "Remove ghosts: keep out of the result what moved between the "
                            "pictures, as the reference picture shows it; the strength",
                            OutOfRange::kRefused);
}

std::vector<std::string> JoinDeghostStrength(std::vector<std::string> args) {
  std::vector<std::string> joined;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--") {  // what follows is inputs only
      joined.insert(joined.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
      break;
    }
    if (args[i] == kDeghostFlag) {
      const bool given = i + 1 < args.size() && IsWholeNumber(args[i + 1]);
      const std::string strength =
          given ? args[i + 1] : std::to_string(parameter::kDeghostStrength.defaultValue);
      joined.push_back(args[i] + "=" + strength);
      if (given) ++i;
    } else {
      joined.push_back(args[i]);
    }
  }
  return joined;
}

void ReportGhosts(const std::vector<float>& rejected,
                  const std::vector<std::filesystem::path>& inputs) {
  for (size_t i = 0; i < inputs.size() && i < rejected.size(); ++i) {
    if (rejected[i] <= 0.0f) continue;
    char share[32];
    std::snprintf(share, sizeof share, "%.1f %%", 100.0 * rejected[i]);
    ReportLine("picture " + std::to_string(i + 1) + " " + Quoted(inputs[i]) +
               ": ghosts removed from " + share + " of the picture");
  }
}
