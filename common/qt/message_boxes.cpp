#include "common/qt/message_boxes.h"

#include <QAbstractButton>
#include <QPushButton>

#include <mutex>

namespace ostrelo {

namespace {

std::mutex g_handlerMutex;
MessageBoxHandler g_handler;

MessageBoxAnswer runDialog(const MessageBoxSpec &spec)
{
	QMessageBox box(spec.icon, spec.title, spec.text, QMessageBox::NoButton, spec.parent);
	if (!spec.informativeText.isEmpty())
		box.setInformativeText(spec.informativeText);
	QList<QPushButton *> custom;
	if (spec.customButtons.isEmpty()) {
		box.setStandardButtons(spec.standardButtons);
		if (spec.defaultStandardButton != QMessageBox::NoButton)
			box.setDefaultButton(spec.defaultStandardButton);
	} else {
		for (const MessageBoxButton &b : spec.customButtons)
			custom.append(box.addButton(b.text, b.role));
		if (spec.defaultCustomButton >= 0 && spec.defaultCustomButton < custom.size())
			box.setDefaultButton(custom[spec.defaultCustomButton]);
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

MessageBoxSpec okBox(QWidget *parent, QMessageBox::Icon icon, const QString &text)
{
	MessageBoxSpec spec;
	spec.icon = icon;
	spec.title = QStringLiteral("Ostrelo");
	spec.text = text;
	spec.parent = parent;
	spec.standardButtons = QMessageBox::Ok;
	return spec;
}

} // namespace

void setMessageBoxHandler(MessageBoxHandler handler)
{
	std::lock_guard lock(g_handlerMutex);
	g_handler = std::move(handler);
}

MessageBoxAnswer execMessageBox(const MessageBoxSpec &spec)
{
	MessageBoxHandler handler;
	{
		std::lock_guard lock(g_handlerMutex);
		handler = g_handler;
	}
	return handler ? handler(spec) : runDialog(spec);
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
	MessageBoxSpec spec;
	spec.icon = QMessageBox::Question;
	spec.title = title;
	spec.text = text;
	spec.parent = parent;
	spec.standardButtons = QMessageBox::Yes | QMessageBox::No;
	return execMessageBox(spec).standard == QMessageBox::Yes;
}

} // namespace ostrelo
