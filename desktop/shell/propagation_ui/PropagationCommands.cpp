#include "desktop/shell/propagation_ui/PropagationCommands.h"

#include <QDir>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <set>

#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"
#include "propagation/Propagation.h"
#include "propagation/PropagationPara.h"
#include "desktop/shell/core/BusyCursor.h"
#include "desktop/shell/core/TesseraDoc.h"
#include "desktop/shell/core/UserMessage.h"
#include "desktop/shell/propagation_ui/KSDPScoreDlg.h"
#include "desktop/shell/propagation_ui/PropagatedTable.h"
#include "desktop/shell/propagation_ui/PropagationDlg.h"
#include "resultfiles/ResultFile.h"

namespace {

const QString kTitle = QStringLiteral("Propagation");

// What a search-engine reader kept and dropped; empty for the toolkit's own
// formats.
std::string ResultReport(const CPropagationSummary& summary) {
  std::string text;
  for (const std::string& line : summary.result_report) text += line + "\n";
  return text;
}

}  // namespace

std::string CheckPropagationInputs(const std::string& para_path) {
  CPropagationPara para;
  if (!ReadPropagationParaFile(para_path, para)) return "Can not open file: " + para_path;
  return CheckJobInputs(para);
}

std::string FormatPropagationSummary(const CPropagation& job) {
  return ResultReport(job.summary()) + FormatSummary(job, /*absolute_paths=*/true);
}

CPropagationOutcome RunPropagationJob(QWidget* parent, const std::string& para_path,
                                      bool determine_sites) {
  CPropagationOutcome outcome;
  const std::string problem = CheckPropagationInputs(para_path);
  if (!problem.empty()) {
    outcome.report = QString::fromStdString("Propagation did not run: " + problem +
                                            "\nNo report was written.");
    desktop::ShowMessage(parent, desktop::MessageKind::Warning, kTitle, outcome.report);
    return outcome;
  }

  // The job's own messages are gathered and shown with its outcome instead
  // of interrupting it box by box.
  std::vector<std::string> heard;
  CPropagation job;
  bool finished = false;
  {
    notify::ScopedHandler listen([&heard](const std::string& m) { heard.push_back(m); });
    desktop::CBusyCursor busy;
    finished = job.Run(para_path, determine_sites);
    // The spectra of the job's data path; a cluster member whose own file
    // is not there is scored on its cluster's consensus spectrum.
    if (finished) job.AssessTransfers(CTransferSettings());
  }
  outcome.transfers = job.transfers();
  outcome.transfer_summary = QString::fromStdString(job.summary().transfer_confidence).trimmed();
  const std::vector<std::string>& written = job.summary().outputs;
  outcome.ran = finished || !written.empty();
  // Run answers true even when a later report could not be written (the
  // job says so through its messages); success means every report is new.
  std::vector<std::string> expected = {OutputBaseOf(para_path) + "_InterPropagate.txt",
                                       "pair_with_result.txt"};
  if (!job.para().cluster_file.empty())
    expected.push_back(OutputBaseOf(para_path) + "_InnerPropagate.txt");
  outcome.succeeded = finished && std::all_of(expected.begin(), expected.end(),
                                              [&written](const std::string& file) {
                                                return std::find(written.begin(), written.end(),
                                                                 file) != written.end();
                                              });

  std::string text;
  if (outcome.succeeded)
    text = "Propagation finished: " + para_path + "\n\n";
  else if (outcome.ran)
    text = "Propagation finished, but not every report was written: " + para_path + "\n\n";
  else
    text = "Propagation failed: " + para_path + "\n\n";
  // A reader that refused its file says why in its report.
  text += outcome.ran ? FormatPropagationSummary(job) : ResultReport(job.summary());
  if (!heard.empty()) {
    // One missing spectrum file per pair can mean thousands of lines; a box
    // that tall would not fit on any screen.
    constexpr std::size_t kShown = 20;
    text += "\nMessages:\n";
    for (std::size_t i = 0; i < heard.size() && i < kShown; ++i) text += heard[i] + "\n";
    if (heard.size() > kShown)
      text += "... and " + std::to_string(heard.size() - kShown) + " more\n";
  }
  outcome.report = QString::fromStdString(text);
  desktop::ShowMessage(parent,
                       outcome.succeeded ? desktop::MessageKind::Information
                                         : desktop::MessageKind::Warning,
                       kTitle, outcome.report);
  return outcome;
}

void RunPropagationCommand(QWidget* parent, CTesseraDoc* doc) {
  CPropagationDlg dialog(parent);
  if (doc) dialog.SetSaveDirectory(doc->GetWorkingDirectory());
  if (dialog.exec() != QDialog::Accepted) return;
  CPropagationOutcome outcome = RunPropagationJob(parent, dialog.ParaPath(), dialog.IsModSiteDetermined());
  if (outcome.transfers.empty()) return;
  // A window of its own, so that the table stays at hand beside the main window.
  auto* table = new CPropagatedTableDlg(std::move(outcome.transfers), outcome.transfer_summary, parent);
  table->setAttribute(Qt::WA_DeleteOnClose);
  table->show();
}

void OpenKSDPScoreDialog(QWidget* parent, CTesseraDoc* doc) {
  CKSDPScoreDlg dialog(parent);
  if (doc) dialog.SetBrowseFolder(doc->GetLastDataPath());
  dialog.exec();
}
