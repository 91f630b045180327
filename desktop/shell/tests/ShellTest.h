#pragma once
// Helpers of the desktop shell's tests: a recorder in place of the message
// boxes, file choosers that answer from a script, and file reading.

#include <QDir>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "desktop/shell/DialogSupport.h"
#include "desktop/shell/core/UserMessage.h"

namespace shelltest {

// Records every message instead of showing it, for as long as it lives.
class MessageRecorder {
 public:
  MessageRecorder() {
    previous_ = desktop::SetMessageHandler(
        [this](QWidget*, desktop::MessageKind, const QString&, const QString& text) {
          messages << text;
          return true;
        });
  }
  ~MessageRecorder() { desktop::SetMessageHandler(std::move(previous_)); }
  QStringList messages;

 private:
  desktop::MessageHandler previous_;
};

// Choosers that give the set answers (nothing = the user cancelled).
struct ScriptedChooser {
  std::optional<QString> open, save, folder;
  QString lastSuggested;
  desktop::CFileChooser Make() {
    desktop::CFileChooser chooser;
    chooser.openFile = [this](QWidget*, const QString&) { return open; };
    chooser.saveFile = [this](QWidget*, const QString&, const QString& suggested, const QString&) {
      lastSuggested = suggested;
      return save;
    };
    chooser.folder = [this](QWidget*, const QString&) { return folder; };
    return chooser;
  }
};

inline std::string ReadAll(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteFile(const QString& path, const std::string& text) {
  std::ofstream(path.toStdString(), std::ios::binary) << text;
}

}  // namespace shelltest
