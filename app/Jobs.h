#pragma once

#include <functional>
#include <string>

#include "picture/JobProgress.h"

// How a background job ended. A failed job may carry a message for the user.
enum class JobEnd { kFinished, kCancelled, kFailed };

struct JobResult {
  JobEnd end = JobEnd::kFinished;
  std::string message;
};

// The work of a job, run on a worker thread. It reports progress and polls cancellation
// through `progress` only, and never touches a widget.
using JobBody = std::function<JobResult(JobProgress& progress)>;
