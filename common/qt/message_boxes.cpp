#include "common/qt/message_boxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <mutex>

namespace ostrelo {

namespace {

std::mutex g_handlerMutex;
MessageBoxHandler g_handler;

MessageBoxAnswer runDialog(const MessageBoxContent &content)
{
	// A widget without a QApplication aborts the whole process. A host without one (a libobs
	// tool, a headless run) gets no box, as if it had been closed, and the text in its log.
	if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
		qWarning("Ostrelo: no widget application, message not shown: %s", qUtf8Printable(content.text));
		return {};
	}
	QMessageBox box(content.icon, content.title, content.text, QMessageBox::NoButton, content.parent);
	if (!content.informativeText.isEmpty())
		box.setInformativeText(content.informativeText);
	// The texts come from servers, files and scene names: markup in them is text, never
	// formatting, links or images. The informative label takes no format from the box.
	box.setTextFormat(Qt::PlainText);
	for (QLabel *label : box.findChildren<QLabel *>())
		label->setTextFormat(Qt::PlainText);
	QList<QPushButton *> custom;
	if (content.customButtons.isEmpty()) {
		box.setStandardButtons(content.standardButtons);
		if (content.defaultStandardButton != QMessageBox::NoButton)
			box.setDefaultButton(content.defaultStandardButton);
	} else {
		for (const MessageBoxButton &b : content.customButtons)
			custom.append(box.addButton(b.text, b.role));
		if (content.defaultCustomButton >= 0 && content.defaultCustomButton < custom.size())
			box.setDefaultButton(custom[content.defaultCustomButton]);
	}
	box.exec();
	MessageBoxAnswer answer;
	QAbstractButton *clicked = box.clickedButton();
	if (!custom.isEmpty()) {
		for (int i = 0; i < custom.size(); ++i)
			if (clicked == custom[i])
				answer.customIndex = i;
	} else if (clicked) {
		answer.standard = box.standardButton(clicked);
	}
	return answer;
}

MessageBoxContent okBox(QWidget *parent, QMessageBox::Icon icon, const QString &text)
{
	MessageBoxContent content;
	content.icon = icon;
	content.title = QStringLiteral("Ostrelo");
	content.text = text;
	content.parent = parent;
	content.standardButtons = QMessageBox::Ok;
	return content;
}

} // namespace

void setMessageBoxHandler(MessageBoxHandler handler)
{
	std::lock_guard lock(g_handlerMutex);
	g_handler = std::move(handler);
}

MessageBoxAnswer execMessageBox(const MessageBoxContent &content)
{
	MessageBoxHandler handler;
	{
		std::lock_guard lock(g_handlerMutex);
		handler = g_handler;
	}
	return handler ? handler(content) : runDialog(content);
}

void showWarning(QWidget *parent, const QString &text)
{
	execMessageBox(okBox(parent, QMessageBox::Warning, text));
}

void showInformation(QWidget *parent, const QString &text)
{
	execMessageBox(okBox(parent, QMessageBox::Information, text));
}

bool askYesNo(QWidget *parent, const QString &title, const QString &text)
{
	MessageBoxContent content;
	content.icon = QMessageBox::Question;
	content.title = title;
	content.text = text;
	content.parent = parent;
	content.standardButtons = QMessageBox::Yes | QMessageBox::No;
	return execMessageBox(content).standard == QMessageBox::Yes;
}

} // namespace ostrelo
