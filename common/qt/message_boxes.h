#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

namespace ostrelo {

// Every modal box of the dock and the updater goes through here, so tests can answer the
// boxes and read what they said.
struct MessageBoxButton {
	QString text;
	QMessageBox::ButtonRole role = QMessageBox::AcceptRole;
};

struct MessageBoxContent {
	QMessageBox::Icon icon = QMessageBox::NoIcon;
	QString title;
	QString text;
	QString informativeText;
	QWidget *parent = nullptr;
	// Either standard buttons, or custom ones (in order) with the index of the default.
	QMessageBox::StandardButtons standardButtons = QMessageBox::Ok;
	QMessageBox::StandardButton defaultStandardButton = QMessageBox::NoButton;
	QList<MessageBoxButton> customButtons;
	int defaultCustomButton = -1;
};

// The answer: the standard button pressed, or the index of the custom button pressed
// (-1 when the box was closed without one).
struct MessageBoxAnswer {
	QMessageBox::StandardButton standard = QMessageBox::NoButton;
	int customIndex = -1;
};

MessageBoxAnswer execMessageBox(const MessageBoxContent &content);

// The boxes the product shows: title "Ostrelo", one OK button.
void showWarning(QWidget *parent, const QString &text);
void showInformation(QWidget *parent, const QString &text);
// A Yes/No question; true on Yes.
bool askYesNo(QWidget *parent, const QString &title, const QString &text);

// Tests replace the modal dialog with an answering function; an empty function restores it.
using MessageBoxHandler = std::function<MessageBoxAnswer(const MessageBoxContent &)>;
void setMessageBoxHandler(MessageBoxHandler handler);

} // namespace ostrelo
