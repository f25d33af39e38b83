#include "jobs/BatchPlan.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <system_error>

#include "jobs/JobTexts.h"
#include "picture/ImageSave.h"

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// What a folder offers to a batch: its pictures, but no hidden file (a write in progress).
bool TakenFromFolder(const fs::directory_entry& entry) {
  std::error_code error;
  return entry.is_regular_file(error) && !entry.path().filename().string().starts_with(".") &&
         FormatCodeFromExtension(entry.path()) != kFormatFromName;
}

// Results that are known before any grouping: names ending in "-vtx", the mark of a fused
// picture, and, for a pattern whose names do not depend on the series' number, the result
// that another picture of the batch would have as a series' first.
std::vector<bool> KnownResults(const std::vector<BatchPicture>& pictures,
                               std::string_view pattern) {
  std::vector<bool> result(pictures.size(), false);
  std::map<fs::path, size_t> byKey;
  for (size_t i = 0; i < pictures.size(); ++i) {
    byKey.emplace(SameFileKey(pictures[i].path), i);
    result[i] = Lower(pictures[i].path.stem().string()).ends_with("-vtx");
  }
  if (pattern.find("{n}") != std::string_view::npos) return result;
  for (const BatchPicture& first : pictures) {
    BatchSeries alone;
    alone.pictures.push_back(first);
    const auto named = byKey.find(SameFileKey(FillOutputPattern(pattern, alone, 1)));
    if (named != byKey.end() && pictures[named->second].path != first.path)
      result[named->second] = true;
  }
  return result;
}

// Moves the marked pictures to the plan's left-out list.
void LeaveOut(std::vector<BatchPicture>* pictures, const std::vector<bool>& marked,
              BatchPlan* plan) {
  std::vector<BatchPicture> kept;
  for (size_t i = 0; i < pictures->size(); ++i) {
    if (marked[i])
      plan->leftOut.push_back((*pictures)[i].path);
    else
      kept.push_back(std::move((*pictures)[i]));
  }
  *pictures = std::move(kept);
}

}  // namespace

CollectedFiles CollectBatchFiles(std::span<const fs::path> inputs) {
  CollectedFiles collected;
  std::set<fs::path> seen;
  const auto take = [&](const fs::path& file) {
    if (seen.insert(SameFileKey(file)).second) collected.files.push_back(file);
  };
  for (const fs::path& input : inputs) {
    std::error_code error;
    if (fs::is_directory(input, error)) {
      std::vector<fs::path> pictures;
      for (const fs::directory_entry& entry : fs::directory_iterator(input, error))
        if (TakenFromFolder(entry)) pictures.push_back(entry.path());
      if (error) {
        collected.refusal = QuotedPath(input) + ": the folder cannot be read";
        return collected;
      }
      std::sort(pictures.begin(), pictures.end(), NameOrderLess);
      for (const fs::path& picture : pictures)
        take(picture);
    } else if (fs::is_regular_file(input, error)) {
      take(input);
    } else if (fs::exists(input, error)) {
      collected.refusal = QuotedPath(input) + ": not a file";
      return collected;
    } else {
      collected.refusal = QuotedPath(input) + ": no such file or folder";
      return collected;
    }
  }
  if (collected.files.empty()) collected.refusal = "no pictures found";
  return collected;
}

BatchPlan PlanBatch(std::vector<BatchPicture> pictures, const BatchPlanRequest& request) {
  BatchPlan plan;
  plan.refusal = CheckOutputPattern(request.pattern);
  if (!plan.refusal.empty()) return plan;
  LeaveOut(&pictures, KnownResults(pictures, request.pattern), &plan);
  const bool namedByFirst = request.pattern.find("{first}") != std::string::npos;
  // Leaving out one run's results may change the series and with them the names; a few
  // rounds settle it.
  for (int round = 0; round < 4; ++round) {
    BatchGrouping grouping = GroupBatchPictures(pictures, request.grouping);
    BatchOutputs named = NameBatchOutputs(request.pattern, grouping.series);
    plan.refusal = !grouping.refusal.empty() ? grouping.refusal : named.refusal;
    if (!plan.refusal.empty()) return plan;
    std::set<fs::path> results;
    for (size_t i = 0; i < named.outputs.size(); ++i) {
      // A result named after its own first picture is that picture, never an earlier result.
      const fs::path key = SameFileKey(named.outputs[i]);
      if (namedByFirst && key == SameFileKey(grouping.series[i].pictures.front().path)) {
        plan.refusal = "the output pattern would write over " + QuotedPath(named.outputs[i]) +
                       ", one of the pictures";
        return plan;
      }
      results.insert(key);
    }
    std::vector<bool> marked(pictures.size(), false);
    bool any = false;
    for (size_t i = 0; i < pictures.size(); ++i) {
      marked[i] = results.count(SameFileKey(pictures[i].path)) != 0;
      any = any || marked[i];
    }
    if (!any) {
      plan.series = std::move(grouping.series);
      plan.outputs = std::move(named.outputs);
      return plan;
    }
    LeaveOut(&pictures, marked, &plan);
  }
  plan.refusal = "the output pattern would write over pictures of the batch";
  return plan;
}

std::string DescribeBatchPlan(const BatchPlan& plan) {
  const auto pictures = [](size_t count) {
    return std::to_string(count) + (count == 1 ? " picture" : " pictures");
  };
  size_t total = 0;
  for (const BatchSeries& s : plan.series)
    total += s.pictures.size();
  std::string text = std::to_string(plan.series.size()) + " series of " + pictures(total) + "\n";
  for (size_t i = 0; i < plan.series.size(); ++i) {
    const BatchSeries& s = plan.series[i];
    // A single picture has nothing to be fused with: no result is written for it.
    const std::string result =
        s.pictures.size() < 2 ? std::string(", left as it is") : " -> " + plan.outputs[i].string();
    text += "Series " + std::to_string(i + 1) + ": " + pictures(s.pictures.size()) + result +
            " (ended: " + SeriesEndText(s) + ")\n";
    for (const BatchPicture& p : s.pictures)
      text += "  " + p.path.filename().string() + "  " +
              (p.headerRead ? CaptureSummary(p.capture) : std::string("cannot be read")) + "\n";
  }
  if (!plan.leftOut.empty()) {
    text += "Left out, results of an earlier run:";
    for (const fs::path& p : plan.leftOut)
      text += " " + p.filename().string();
    text += "\n";
  }
  return text;
}
