#pragma once
// The main window: menus and toolbar of the program's commands, a status bar
// with the prompts and the lock indicators, and the histogram pane above the
// result list. It runs the clustering and Shiftscan jobs for the user.

#include <QMainWindow>
#include <QStringList>

class CJobRunner;
class CTesseraDoc;
class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QToolBar;

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr int kRecentFileCount = 4;

  explicit CMainFrame(CTesseraDoc* doc, QWidget* parent = nullptr);
  ~CMainFrame() override;

  CTesseraDoc* Document() const { return doc_; }
  CJobRunner* Runner() const { return runner_; }
  QSplitter* Splitter() const { return splitter_; }
  // The five toolbar buttons, left to right.
  QList<QAction*> ToolbarActions() const;

  // Recent files as kept in the settings, newest first.
  static QStringList RecentFiles();

 public slots:
  void OnClusterJob();
  void OnShiftscanJob();
  void OnPropagation();
  void OnGetModSite();
  void OnAbout();
  void OnOpenTable();
  // Loads a mass-shift table into the document and lists it as recent.
  bool OpenTable(const QString& path);

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void CreateMenus();
  void CreateToolbar();
  void CreateStatusBar();
  void CreatePanes();
  void AddRecentFile(const QString& path);
  void RefreshRecentFiles();
  void UpdateLockIndicators();

  CTesseraDoc* doc_;
  CJobRunner* runner_;
  QSplitter* splitter_ = nullptr;
  QToolBar* toolbar_ = nullptr;
  QMenu* fileMenu_ = nullptr;
  QList<QAction*> recentActions_;
  QAction* recentPlaceholder_ = nullptr;
  QWidget* indicatorPane_ = nullptr;
  QWidget* statusTail_ = nullptr;
  QLabel* capsLock_ = nullptr;
  QLabel* numLock_ = nullptr;
  QLabel* scrollLock_ = nullptr;
  bool splitDone_ = false;
};
