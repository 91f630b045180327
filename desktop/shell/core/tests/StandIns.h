#pragma once
// Stand-ins for the modal windows of the desktop program, shared by the
// tests of every part: messages are recorded and file choosers answer from a
// script, so no test ever blocks.

#include <QDir>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "desktop/shell/core/FileChooser.h"
#include "desktop/shell/core/UserMessage.h"

// A fresh folder as the current directory for as long as it lives, so that
// what a test writes there stays out of wherever the test was started.
class ScratchCurrentDir {
 public:
  ScratchCurrentDir() : valid_(dir_.isValid() && QDir::setCurrent(dir_.path())) {}
  bool IsValid() const { return valid_; }

 private:
  QTemporaryDir dir_;
  bool valid_;
};

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

inline void WriteText(const QString& path, const std::string& text) {
  std::ofstream(path.toStdString(), std::ios::binary) << text;
}

inline std::string ReadText(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
