// propagation_ui_check: drives the desktop's "Propagation" and "Get Mod Site"
// commands without a user, for checks on a real job and for screenshots.
// Every message that would be a box is printed; file choosers answer with
// the paths given here.
//
//   propagation_ui_check propagation <job.para> [--grab <folder>]
//       opens the propagation dialog, loads <job.para> with "Load", presses
//       OK and lets the command run the job in the current directory; then
//       prints the table of propagated identifications the command opens.
//   propagation_ui_check ksdp <spectrum> <sequence> <mod mass> [<row>=<modification>]...
//                        [--grab <folder>]
//       opens the KSDP dialog, fills it, picks the fixed modifications
//       (1-based rows), presses "Score" and prints the list.

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "desktop/shell/core/TesseraDoc.h"
#include "desktop/shell/core/UserMessage.h"
#include "desktop/shell/propagation_ui/EditableListCtrl.h"
#include "desktop/shell/core/FileChooser.h"
#include "desktop/shell/propagation_ui/KSDPScoreDlg.h"
#include "desktop/shell/propagation_ui/PropagatedTable.h"
#include "desktop/shell/core/TableExport.h"
#include "desktop/shell/propagation_ui/PropagationCommands.h"

namespace {

int Usage() {
  std::printf(
      "usage: propagation_ui_check propagation <job.para> [--grab <folder>]\n"
      "       propagation_ui_check ksdp <spectrum> <sequence> <mod mass> [<row>=<modification>]... "
      "[--grab <folder>]\n");
  return 2;
}

QString grabFolder;
int messagesShown = 0;

void Grab(QWidget* widget, const QString& name) {
  if (grabFolder.isEmpty()) return;
  if (!widget->isVisible()) widget->adjustSize();
  const QString file = QDir(grabFolder).filePath(name + ".png");
  if (!widget->grab().save(file)) std::printf("Can not save file:%s\n", qPrintable(file));
}

// Runs `drive` on the modal dialog once the command has opened it.
void WhenModal(std::function<void(QWidget*)> drive) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, drive] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    drive(modal);
  });
  poll->start(20);
}

// Messages are printed, and pictured too when pictures are asked for.
void PrintMessages() {
  desktop::SetMessageHandler([](QWidget*, desktop::MessageKind, const QString& title,
                                const QString& text) {
    ++messagesShown;
    std::printf("[%s]\n%s\n", qPrintable(title), qPrintable(text));
    if (!grabFolder.isEmpty()) {
      QMessageBox box(QMessageBox::Information, title, text);
      Grab(&box, QStringLiteral("message%1").arg(messagesShown));
    }
    return true;
  });
}

// Loads `paraFile` into the propagation dialog and presses OK; 0 when the
// dialog accepted it.
int CheckPropagation(CTesseraDoc& doc, const std::string& paraFile) {
  const QString para = QDir::current().absoluteFilePath(QString::fromStdString(paraFile));
  desktop::SetFileChooser(
      [para](QWidget*, const desktop::FileChoice&) -> std::optional<QString> { return para; });
  bool accepted = false;
  WhenModal([&accepted](QWidget* dialog) {
    dialog->findChild<QPushButton*>(QStringLiteral("loadButton"))->click();
    Grab(dialog, QStringLiteral("propagation_dialog"));
    dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
    accepted = !dialog->isVisible();
    if (!accepted) dialog->close();
  });
  RunPropagationCommand(nullptr, &doc);
  for (QWidget* window : QApplication::topLevelWidgets()) {
    auto* table = qobject_cast<CPropagatedTableDlg*>(window);
    if (!table) continue;
    table->show();
    QApplication::processEvents();
    std::printf("[%s]\n%s", qPrintable(table->windowTitle()), qPrintable(desktop::TableAsTsv(*table->View())));
    Grab(table, QStringLiteral("propagated_table"));
    table->close();
  }
  return accepted ? 0 : 1;
}

// "<row>=<modification>" arguments: the modification chosen on a 1-based row.
void PickModifications(CEditableListCtrl* list, const std::vector<std::string>& picks) {
  for (const std::string& pick : picks) {
    const std::size_t eq = pick.find('=');
    if (eq == std::string::npos) continue;
    const int row = std::atoi(pick.substr(0, eq).c_str()) - 1;
    const QString name = QString::fromStdString(pick.substr(eq + 1));
    if (!list->EditCell(row, CKSDPScoreDlg::kModificationColumn)) continue;
    const int index = list->Editor()->findText(name);
    if (index < 0) std::printf("%s is not offered on row %d\n", qPrintable(name), row + 1);
    list->Editor()->setCurrentIndex(index);
    list->Editor()->End(false);
  }
}

void PrintList(const CEditableListCtrl* list) {
  for (int row = 0; row < list->rowCount(); ++row) {
    std::printf("%s\t%s\t%s\t%s\n", qPrintable(list->item(row, 0)->text()),
                qPrintable(list->item(row, 1)->text()), qPrintable(list->item(row, 2)->text()),
                qPrintable(list->item(row, 3)->text()));
  }
}

// Fills the KSDP dialog from `args` (spectrum, sequence, mod mass, picks),
// scores and prints the list; 0 when scores were written.
int CheckKsdp(CTesseraDoc& doc, const std::vector<std::string>& args) {
  bool scored = false;
  WhenModal([&](QWidget* widget) {
    auto* dialog = qobject_cast<CKSDPScoreDlg*>(widget);
    if (!dialog) {
      widget->close();
      return;
    }
    dialog->findChild<QLineEdit*>(QStringLiteral("pathEdit"))->setText(QString::fromStdString(args[0]));
    dialog->findChild<QLineEdit*>(QStringLiteral("sequenceEdit"))->setText(QString::fromStdString(args[1]));
    dialog->findChild<QLineEdit*>(QStringLiteral("massEdit"))->setText(QString::fromStdString(args[2]));
    auto* list = dialog->findChild<CEditableListCtrl*>(QStringLiteral("residueList"));
    PickModifications(list, std::vector<std::string>(args.begin() + 3, args.end()));
    scored = dialog->Score();
    PrintList(list);
    if (list->rowCount() > 0 && list->EditCell(0, CKSDPScoreDlg::kModificationColumn)) {
      // The list as the user sees it with the drop-down editor open.
      Grab(dialog, QStringLiteral("ksdp_dialog"));
      list->Editor()->showPopup();
      Grab(list->Editor()->view()->window(), QStringLiteral("ksdp_choices"));
      list->Editor()->End(true);
    }
    dialog->close();
  });
  OpenKSDPScoreDialog(nullptr, &doc);
  return scored ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--grab") {
      if (++i >= argc) return Usage();
      grabFolder = QString::fromLocal8Bit(argv[i]);
    } else {
      args.push_back(arg);
    }
  }
  if (args.empty()) return Usage();

  PrintMessages();
  CTesseraDoc doc;
  if (args[0] == "propagation" && args.size() == 2) return CheckPropagation(doc, args[1]);
  if (args[0] == "ksdp" && args.size() >= 4) {
    return CheckKsdp(doc, std::vector<std::string>(args.begin() + 1, args.end()));
  }
  return Usage();
}
