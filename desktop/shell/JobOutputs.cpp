#include "desktop/shell/JobOutputs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The suffix that safe writes give a result while it is being written.
const QString kTemporaryInfix = QStringLiteral(".part-");

bool Remove(const QString& path) {
  const QFileInfo info(path);
  if (info.isDir() && !info.isSymLink()) return QDir(path).removeRecursively();
  return QFile::remove(path);
}

}  // namespace

CJobOutputs::State CJobOutputs::StateOf(const QString& path) {
  const QFileInfo info(path);
  State state;
  // A link counts as itself, not as what it points to.
  state.exists = info.exists() || info.isSymLink();
  if (state.exists) {
    state.size = info.isDir() ? -1 : info.size();
    state.modified = info.lastModified();
  }
  return state;
}

QHash<QString, CJobOutputs::State> CJobOutputs::Entries(const QString& folder, const QString& prefix) {
  QHash<QString, State> entries;
  const QDir dir(folder);
  const QStringList names =
      dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
  for (const QString& name : names)
    if (prefix.isEmpty() || name.startsWith(prefix)) entries.insert(name, StateOf(dir.filePath(name)));
  return entries;
}

CJobOutputs::CJobOutputs(const QStringList& files, const QStringList& folders, const QStringList& appended)
    : files_(files), appended_(appended), folders_(folders) {
  for (const QString& file : appended_) appendedStates_.insert(file, StateOf(file));
  for (const QString& file : files_) {
    fileStates_.insert(file, StateOf(file));
    const QFileInfo info(file);
    temporaries_.insert(file, Entries(info.absolutePath(), info.fileName() + kTemporaryInfix));
  }
  for (const QString& folder : folders_) {
    const bool existed = QFileInfo(folder).isDir();
    folderExisted_.insert(folder, existed);
    if (existed) folderEntries_.insert(folder, Entries(folder));
  }
}

QStringList CJobOutputs::RemoveChanged() const {
  QStringList removed;
  const auto removeIfChanged = [&removed](const QString& path, const State& before) {
    const State now = StateOf(path);
    if (now.exists && !(now == before) && Remove(path)) removed << path;
  };
  for (const QString& file : files_) {
    removeIfChanged(file, fileStates_.value(file));
    const QFileInfo info(file);
    const QHash<QString, State> before = temporaries_.value(file);
    const QHash<QString, State> now = Entries(info.absolutePath(), info.fileName() + kTemporaryInfix);
    for (auto it = now.begin(); it != now.end(); ++it)
      if (!before.contains(it.key())) removeIfChanged(QDir(info.absolutePath()).filePath(it.key()), State());
  }
  for (const QString& file : appended_) {
    const State before = appendedStates_.value(file);
    const State now = StateOf(file);
    if (!now.exists || now == before) continue;
    if (!before.exists) {
      if (Remove(file)) removed << file;
      continue;
    }
    // Only what the job added goes: a file that did not grow was rewritten
    // by someone else and stays as it is, as does a link.
    if (!QFileInfo(file).isSymLink() && now.size > before.size && QFile::resize(file, before.size))
      removed << file;
  }
  for (const QString& folder : folders_) {
    if (!folderExisted_.value(folder)) {
      if (QFileInfo(folder).isDir() && QDir(folder).removeRecursively()) removed << folder;
      continue;
    }
    const QHash<QString, State> before = folderEntries_.value(folder);
    const QHash<QString, State> now = Entries(folder);
    for (auto it = now.begin(); it != now.end(); ++it) {
      // A folder that was there keeps what it held; only new ones go.
      const QString path = QDir(folder).filePath(it.key());
      if (before.contains(it.key()) && it.value().size < 0) continue;
      removeIfChanged(path, before.value(it.key()));
    }
  }
  return removed;
}
