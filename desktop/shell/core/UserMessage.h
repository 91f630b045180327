#pragma once
// The one road by which the desktop program tells the user something that
// needs an answer or an acknowledgement. Everything goes through here so that
// tests can replace the modal box with a recorder and never block.

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace desktop {

enum class MessageKind { Information, Warning, Error, Question };

// Shows the message; for Question answers true when the user said yes.
// Information, Warning and Error answer true.
bool ShowMessage(QWidget* parent, MessageKind kind, const QString& title, const QString& text);

// Before a job replaces results of an earlier one: nothing to ask when
// `existing` is empty; otherwise names them and answers whether the user
// agreed to replace them.
bool ConfirmReplace(QWidget* parent, const QString& title, const QStringList& existing);

// What is wrong with the path a dialog's field holds, naming the field
// ("Result File: File: /x.pep.xml does not exist!", or that the field is
// empty); empty when the path exists.
QString PathProblem(const QString& field, const QString& path);

using MessageHandler =
    std::function<bool(QWidget* parent, MessageKind kind, const QString& title, const QString& text)>;

// Replaces the handler (an empty one restores the modal box) and returns the
// previous one.
MessageHandler SetMessageHandler(MessageHandler handler);

// Installs the desktop's box as the libraries' notifier as well, so that a
// reader's "Can not open file:" reaches the user as a window.
void RouteLibraryMessagesToUser(QWidget* parent);

}  // namespace desktop
