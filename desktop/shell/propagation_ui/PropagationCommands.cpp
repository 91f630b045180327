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
#include "desktop/propagation/Propagation.h"
#include "desktop/propagation/PropagationPara.h"
#include "desktop/shell/core/BusyCursor.h"
#include "desktop/shell/core/TesseraDoc.h"
#include "desktop/shell/core/UserMessage.h"
#include "desktop/shell/propagation_ui/KSDPScoreDlg.h"
#include "desktop/shell/propagation_ui/PropagationDlg.h"
#include "resultfiles/ResultFile.h"

namespace {

const QString kTitle = QStringLiteral("Propagation");

// "" when `path` is a file that can be read, else why not.
std::string UnreadableFile(const std::string& what, const std::string& path) {
  if (!path::Exists(path)) return what + ": File: " + path + " does not exist!";
  std::ifstream in;
  if (!text::OpenInput(in, path)) return what + ": Can not open file:" + path;
  return std::string();
}

std::string Line(const char* format, int a, int b = 0, int c = 0) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, format, a, b, c);
  return buffer;
}

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
  if (!ReadPropagationParaFile(para_path, para)) return "Can not open file:" + para_path;

  std::string why = UnreadableFile("Result file", para.result_file);
  if (!why.empty()) return why;
  if (!std::unique_ptr<CResultFile>(CResultFileFactory().GetResult(para.result_file)))
    return "Result file: Unknown result file type:" + para.result_file;

  if (path::IsDirectory(para.pair_file)) {
    if (CPropagation::ListPairFiles(para.pair_file).empty())
      return "Pair files: no .csv or .txt file in the directory " + para.pair_file;
  } else {
    why = UnreadableFile("Pair file", para.pair_file);
    if (!why.empty()) return why;
  }
  if (!para.cluster_file.empty()) {
    why = UnreadableFile("Cluster file", para.cluster_file);
    if (!why.empty()) return why;
  }
  if (!para.dta_path.empty() && !path::Exists(para.dta_path))
    return "Data path: File: " + para.dta_path + " does not exist!";
  return std::string();
}

std::string FormatPropagationSummary(const CPropagation& job, bool determine_sites) {
  const CPropagationSummary& summary = job.summary();
  std::string text = ResultReport(summary);
  text += Line("Identified before propagation: %d\n", summary.identified_before);
  text += (job.para().cluster_file.empty() ? std::string("Identified spectra present in the pair files")
                                           : std::string("Identified spectra present in the cluster file")) +
          Line(": %d of %d\n", summary.identified_in_job, summary.identified_before);
  if (!job.para().cluster_file.empty()) {
    text += Line(
        "Inner propagation: %d clusters identified, %d spectra newly identified, %d conflicting "
        "clusters\n",
        summary.inner_clusters_identified, summary.inner_new_spectra, summary.inner_conflicts);
  }
  text += Line(
      "Inter propagation: %d newly identified (%d spectra counted through clusters) from %d pair "
      "file(s)\n",
      summary.inter_new_nodes, summary.inter_new_spectra, summary.pair_files);
  text += Line("Spectra identified by propagation: %d\n", summary.added_spectra);
  text += std::string("Site determination: ") + (determine_sites ? "on" : "off") + "\n";
  text += "Output files:\n";
  std::set<std::string> shown;
  for (const std::string& output : summary.outputs) {
    // "pair_with_result.txt" is written in the working directory; say which.
    const std::string full = QDir::current().absoluteFilePath(QString::fromStdString(output))
                                 .toStdString();
    if (shown.insert(full).second) text += "  " + full + "\n";
  }
  return text;
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
  }
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
  text += outcome.ran ? FormatPropagationSummary(job, determine_sites) : ResultReport(job.summary());
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
  RunPropagationJob(parent, dialog.ParaPath(), dialog.IsModSiteDetermined());
}

void OpenKSDPScoreDialog(QWidget* parent, CTesseraDoc* doc) {
  CKSDPScoreDlg dialog(parent);
  if (doc) dialog.SetBrowseFolder(doc->GetLastDataPath());
  dialog.exec();
}
