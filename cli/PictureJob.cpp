#include "cli/PictureJob.h"

int RunPictureJob(const PictureJob& job, const CommonOptions& common) {
  if (int status = CheckOutputPath(job.output); status != kExitSuccess) return status;
  CliProgress progress(common);
  InputPicture input;
  if (!job.input.empty()) {
    if (int status = LoadInput(job.input, &input, &progress); status != kExitSuccess) return status;
  }
  if (job.memoryNeed) {
    if (const std::optional<uint64_t> need = job.memoryNeed(*input.picture)) {
      if (int status = CheckMemory(job.memoryJob, *need); status != kExitSuccess) return status;
    }
  }
  ScopedPicBuf result;
  const SBxPicBuf* toWrite = input.picture.get();
  if (job.run) {
    if (!job.stage.empty()) progress.SetStage(job.stage);
    if (int status = job.run(input, &progress, result.get()); status != kExitSuccess) return status;
    toWrite = result.get();
  }
  const std::filesystem::path& metadata =
      job.metadataSource.empty() ? input.path : job.metadataSource;
  return WriteOutput(*toWrite, job.keepMask ? input.mask.get() : nullptr, job.output, metadata,
                     common, &progress);
}
