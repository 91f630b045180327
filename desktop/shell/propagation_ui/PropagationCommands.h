#pragma once
// The main window's "Propagation" and "Get Mod Site" commands.

#include <QString>
#include <string>
#include <vector>

#include "propagation/TransferConfidence.h"

class CPropagation;
class CTesseraDoc;
class QWidget;

// "Propagation": the propagation dialog, modally; on OK the job runs on the
// dialog's parameter file under a busy cursor, and a message then lists the
// reports written with the job's counts, or says why nothing ran. The
// propagated identifications then open in a window of their own
// (PropagatedTable.h), sortable and savable as TSV.
void RunPropagationCommand(QWidget* parent, CTesseraDoc* doc);

// "Get Mod Site": the KSDP score dialog, modally.
void OpenKSDPScoreDialog(QWidget* parent, CTesseraDoc* doc);

// What a job run from the desktop came to.
struct CPropagationOutcome {
  bool ran = false;        // the passes ran (reports may have been replaced)
  bool succeeded = false;  // ran, and every report was written
  QString report;          // the text shown to the user
  // Every identification propagation carried, with its transfer confidence,
  // and the summary of their counts; empty when the job did not run.
  std::vector<CTransferRow> transfers;
  QString transfer_summary;
};

// The job part of the command for a saved parameter file: checks the
// inputs, runs the job, scores what it propagated (TransferConfidence.h),
// shows and answers the outcome. Nothing runs, and no
// earlier report is replaced, when an input is missing or unreadable.
CPropagationOutcome RunPropagationJob(QWidget* parent, const std::string& para_path,
                                      bool determine_sites);

// The first input of a parameter file that the job could not read, as a
// sentence naming it; empty when all can be read.
std::string CheckPropagationInputs(const std::string& para_path);

// The counts and the reports of a finished run, one per line, as the console
// program prints them: first what a search-engine reader kept and dropped.
std::string FormatPropagationSummary(const CPropagation& job);
