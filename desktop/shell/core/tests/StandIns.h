#pragma once
// Stand-ins for the modal windows of the desktop program, shared by the
// tests of every part: messages are recorded and file choosers answer from a
// script, so no test ever blocks.

#include <QDir>
#include <QFile>
#include <QObject>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <string>

#include "desktop/shell/core/FileChooser.h"
#include "desktop/shell/core/Memory.h"
#include "desktop/shell/core/UserMessage.h"
#include "tests/support/Files.h"

// The named control of a dialog; a missing one ends the test run.
template <typename T>
T* Child(const QObject& parent, const char* name) {
  T* child = parent.findChild<T*>(QLatin1String(name));
  if (!child) qFatal("no control %s", name);
  return child;
}

// Records every message instead of showing it, for as long as it lives;
// questions are recorded apart and answered with `answer`.
class RecordedMessages {
 public:
  RecordedMessages() {
    previous_ = desktop::SetMessageHandler(
        [this](QWidget*, desktop::MessageKind kind, const QString&, const QString& text) {
          if (kind != desktop::MessageKind::Question) {
            texts << text;
            return true;
          }
          questions << text;
          return answer;
        });
  }
  ~RecordedMessages() { desktop::SetMessageHandler(std::move(previous_)); }
  QStringList texts;
  QStringList questions;
  bool answer = true;

 private:
  desktop::MessageHandler previous_;
};

// Answers each request, for as long as it lives, with the next queued answer
// or, once the queue is empty, with the set answer for its kind (nothing =
// the user cancelled); remembers what was asked.
class ScriptedChooser {
 public:
  ScriptedChooser() {
    previous_ = desktop::SetFileChooser([this](QWidget*, const desktop::FileChoice& choice) {
      asked.push_back(choice);
      if (answers.empty()) {
        switch (choice.kind) {
          case desktop::ChooserKind::OpenFile: return open;
          case desktop::ChooserKind::SaveFile: return save;
          case desktop::ChooserKind::Directory: return folder;
        }
      }
      const std::optional<QString> next = answers.front();
      answers.pop_front();
      return next;
    });
  }
  ~ScriptedChooser() { desktop::SetFileChooser(std::move(previous_)); }
  std::deque<std::optional<QString>> answers;
  std::optional<QString> open, save, folder;
  std::deque<desktop::FileChoice> asked;

 private:
  desktop::FileChooser previous_;
};

// The program's memory turned on, in a settings folder of the test's own
// (never the user's), for as long as it lives.
class ScratchSettings {
 public:
  ScratchSettings() : dir_("tessera_settings") {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(dir_.Path().string()));
    desktop::EnableMemory(true);
  }
  ~ScratchSettings() { desktop::EnableMemory(false); }
  // The file the settings land in.
  QString File() const {
    return QString::fromStdString(dir_.Path().string()) + QStringLiteral("/Tessera/Tessera.conf");
  }

 private:
  testsupport::CTempDir dir_;
};

// The shared file helpers for the Qt paths of the tests.
inline void WriteText(const QString& path, const std::string& text) {
  testsupport::WriteFile(path.toStdString(), text);
}
inline std::string ReadText(const QString& path) { return testsupport::ReadFile(path.toStdString()); }

// A stand-in for a back end: a shell script named `program` in `folder`.
inline void WriteBackEnd(const QString& folder, const char* program, const std::string& body) {
  const QString path = QDir(folder).filePath(QLatin1String(program));
  WriteText(path, "#!/bin/sh\n" + body);
  QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The process has ended, or is a zombie no one has reaped yet (a
// container's first process may never reap the orphans it inherits).
inline bool ProcessEnded(qint64 pid) {
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return true;
  const QByteArray text = stat.readAll();
  return text.mid(text.lastIndexOf(')') + 2, 1) == "Z";
}
