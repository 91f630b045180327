#pragma once
// The files and folders a job writes, as they stood before it started, so
// that a cancelled job's partial results can be removed without touching
// anything that was there before or that the job left alone.

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

class CJobOutputs {
 public:
  // Records the state of each file (and of the temporaries "<file>.part-*"
  // that results are written through), of each folder's entries, and the
  // length of each file the job only appends to (a log kept run after run).
  CJobOutputs(const QStringList& files, const QStringList& folders, const QStringList& appended = {});

  // Removes what is new or changed since the record: the files, new
  // temporaries, and in the folders the entries the job made or rewrote (a
  // folder it made goes whole). An appended file that was there is cut back
  // to its length before the job; one the job made goes. Answers the paths
  // removed or cut back.
  QStringList RemoveChanged() const;

 private:
  struct State {
    bool exists = false;
    qint64 size = -1;
    QDateTime modified;
    bool operator==(const State& other) const {
      return exists == other.exists && size == other.size && modified == other.modified;
    }
  };
  static State StateOf(const QString& path);
  // Entry names of a folder with their states; the temporaries beside a file.
  static QHash<QString, State> Entries(const QString& folder, const QString& prefix = QString());

  QStringList files_;
  QHash<QString, State> fileStates_;
  QStringList appended_;
  QHash<QString, State> appendedStates_;
  QHash<QString, QHash<QString, State>> temporaries_;  // by file
  QStringList folders_;
  QHash<QString, bool> folderExisted_;
  QHash<QString, QHash<QString, State>> folderEntries_;
};
