#pragma once

// A one-request-per-connection HTTP server on 127.0.0.1 for the dock's tests. It records
// what it was asked and answers with whatever the test set.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <QUrlQuery>

namespace ostrelo::test {

struct RecordedRequest {
	QByteArray method;
	QUrl url; // path and query as sent
	QByteArray userAgent;
};

class LoopbackServer {
public:
	int status = 200;
	QByteArray reason = "OK";
	QByteArray body = "{}";
	QList<RecordedRequest> requests;

	LoopbackServer()
	{
		server_.listen(QHostAddress::LocalHost, 0);
		QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
			while (QTcpSocket *socket = server_.nextPendingConnection())
				serve(socket);
		});
	}

	QUrl endpoint() const
	{
		return QUrl(
			QStringLiteral("http://127.0.0.1:%1/app/api/studio-obs-layout.php").arg(server_.serverPort()));
	}

	void answer(int code, const QByteArray &text, const QByteArray &content)
	{
		status = code;
		reason = text;
		body = content;
	}

private:
	void serve(QTcpSocket *socket)
	{
		QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
		QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
			buffer_[socket] += socket->readAll();
			const QByteArray request = buffer_[socket];
			if (!request.contains("\r\n\r\n"))
				return;
			buffer_.remove(socket);
			record(request);
			QByteArray reply = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n";
			reply += "Content-Type: application/json\r\nConnection: close\r\n";
			reply += "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
			socket->write(reply);
			socket->disconnectFromHost();
		});
	}

	void record(const QByteArray &request)
	{
		const QList<QByteArray> lines = request.split('\n');
		const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
		RecordedRequest r{first.value(0), QUrl::fromEncoded(first.value(1)), {}};
		for (const QByteArray &line : lines)
			if (line.toLower().startsWith("user-agent:"))
				r.userAgent = line.mid(11).trimmed();
		requests.append(r);
	}

	QTcpServer server_;
	QHash<QTcpSocket *, QByteArray> buffer_;
};

} // namespace ostrelo::test
