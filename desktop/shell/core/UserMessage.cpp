#include "desktop/shell/core/UserMessage.h"

#include <QFileInfo>
#include <QPointer>
#include <QWidget>

#include "common/Notifier.h"

namespace desktop {
namespace {

bool ShowModalBox(QWidget* parent, MessageKind kind, const QString& title, const QString& text) {
  switch (kind) {
    case MessageKind::Information:
      QMessageBox::information(parent, title, text);
      return true;
    case MessageKind::Warning:
      QMessageBox::warning(parent, title, text);
      return true;
    case MessageKind::Error:
      QMessageBox::critical(parent, title, text);
      return true;
    case MessageKind::Question:
      return QMessageBox::question(parent, title, text) == QMessageBox::Yes;
  }
  return true;
}

MessageHandler& CurrentHandler() {
  static MessageHandler handler;
  return handler;
}

}  // namespace

bool ShowMessage(QWidget* parent, MessageKind kind, const QString& title, const QString& text) {
  const MessageHandler& handler = CurrentHandler();
  if (handler) return handler(parent, kind, title, text);
  return ShowModalBox(parent, kind, title, text);
}

bool ConfirmReplace(QWidget* parent, const QString& title, const QStringList& existing) {
  if (existing.isEmpty()) return true;
  QString text = existing.size() == 1 ? QStringLiteral("This result of an earlier job would be replaced:\n")
                                      : QStringLiteral("These results of an earlier job would be replaced:\n");
  for (const QString& path : existing) text += QStringLiteral("  ") + path + QLatin1Char('\n');
  text += existing.size() == 1 ? QStringLiteral("Replace it?") : QStringLiteral("Replace them?");
  return ShowMessage(parent, MessageKind::Question, title, text);
}

QString PathProblem(const QString& field, const QString& path) {
  if (path.isEmpty()) return QStringLiteral("%1: the field is empty; choose a file first.").arg(field);
  if (!QFileInfo::exists(path)) return QStringLiteral("%1: File: %2 does not exist!").arg(field, path);
  return QString();
}

MessageHandler SetMessageHandler(MessageHandler handler) {
  MessageHandler previous = std::move(CurrentHandler());
  CurrentHandler() = std::move(handler);
  return previous;
}

void RouteLibraryMessagesToUser(QWidget* parent) {
  QPointer<QWidget> owner(parent);
  notify::SetHandler([owner](const std::string& message) {
    ShowMessage(owner.data(), MessageKind::Warning, QStringLiteral("Tessera"),
                QString::fromStdString(message));
  });
}

}  // namespace desktop
