#include "app/batch/BatchCommand.h"

#include <memory>
#include <utility>

#include "app/JobHost.h"
#include "app/PanelHost.h"
#include "app/ProgressWindow.h"
#include "app/UiText.h"
#include "app/UserDialogs.h"
#include "app/batch/BatchDialog.h"
#include "app/batch/BatchModel.h"
#include "jobs/BatchRun.h"
#include "settings/Settings.h"
#include "settings/TextTable.h"

namespace {

// The batch's first choices: the Multi Image panel's exposure; results written with the
// JPEG quality of the last Save As.
BatchChoices FirstChoices() {
  BatchChoices choices;
  choices.exposure = ReadParameterSetting(setting::kMultiImageExposure, parameter::kExposure);
  return choices;
}

void StartBatchJob(PanelHost& host, const BatchModel& model) {
  ResultWriteOptions write;
  write.jpegQuality = ReadParameterSetting(setting::kSaveJpeg, parameter::kJpegQuality);
  auto plan = std::make_shared<const BatchPlan>(model.Plan());
  auto options = std::make_shared<const BatchRunOptions>(model.RunOptions(write));
  auto summary = std::make_shared<BatchRunSummary>();
  const auto body = [plan, options, summary](JobProgress& progress) {
    *summary = RunBatch(*plan, *options, &progress);
    return JobResult{summary->cancelled ? JobEnd::kCancelled : JobEnd::kFinished, {}};
  };
  // Stopped or not, the user learns what was fused, what failed and what was not run.
  const auto finished = [&host, summary](const JobResult& result) {
    const bool failed = result.end == JobEnd::kFailed;
    const std::string text = !failed                  ? summary->Text()
                             : result.message.empty() ? LangText(TextId::kJobFailed)
                                                      : result.message;
    host.Dialogs().ShowMessage(
        host.Window(), LangText(TextId::kBatchTitle), text,
        failed || summary->AnyFailed() ? MessageIcon::kWarning : MessageIcon::kInformation);
  };
  JobHost& jobs = host.Jobs();
  if (jobs.StartProgressJob(body, finished) && jobs.Progress() != nullptr)
    jobs.Progress()->SetTitle(UiText(TextId::kBatchTitle));
}

}  // namespace

void RunBatchCommand(PanelHost& host) {
  if (host.Jobs().Running()) return;
  BatchModel model;
  model.SetChoices(FirstChoices());
  BatchDialog dialog(model, host.Dialogs(), host.Window());
  if (dialog.exec() != QDialog::Accepted || !model.CanRun()) return;
  StartBatchJob(host, model);
}
