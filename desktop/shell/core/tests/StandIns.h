#pragma once
// Stand-ins for the modal windows of the desktop program, shared by the
// tests of every part: messages are recorded and file choosers answer from a
// script, so no test ever blocks.

#include <QObject>
#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <string>

#include "desktop/shell/core/FileChooser.h"
#include "desktop/shell/core/UserMessage.h"
#include "tests/support/Files.h"

// The named control of a dialog; a missing one ends the test run.
template <typename T>
T* Child(const QObject& parent, const char* name) {
  T* child = parent.findChild<T*>(QLatin1String(name));
  if (!child) qFatal("no control %s", name);
  return child;
}

// Records every message instead of showing it, for as long as it lives.
class RecordedMessages {
 public:
  RecordedMessages() {
    previous_ = desktop::SetMessageHandler(
        [this](QWidget*, desktop::MessageKind, const QString&, const QString& text) {
          texts << text;
          return true;
        });
  }
  ~RecordedMessages() { desktop::SetMessageHandler(std::move(previous_)); }
  QStringList texts;

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

// The shared file helpers for the Qt paths of the tests.
inline void WriteText(const QString& path, const std::string& text) {
  testsupport::WriteFile(path.toStdString(), text);
}
inline std::string ReadText(const QString& path) { return testsupport::ReadFile(path.toStdString()); }
