#pragma once
// Stand-ins for the modal windows of the dialogs: messages are recorded and
// file choosers answer from a queue, so no test ever blocks.

#include <QString>
#include <QStringList>
#include <deque>
#include <fstream>
#include <string>

#include "desktop/shell/core/UserMessage.h"
#include "desktop/shell/propagation_ui/FileChooser.h"

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

// Answers each request with the next queued path ("" = cancelled) and
// remembers what was asked.
class QueuedChooser {
 public:
  QueuedChooser() {
    previous_ = desktop::SetFileChooser([this](QWidget*, const desktop::FileChoice& choice) {
      asked.push_back(choice);
      if (answers.empty()) return QString();
      const QString next = answers.front();
      answers.pop_front();
      return next;
    });
  }
  ~QueuedChooser() { desktop::SetFileChooser(std::move(previous_)); }
  std::deque<QString> answers;
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
