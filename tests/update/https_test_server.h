#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <map>
#include <memory>
#include <mutex>

class QThread;
class QSslServer;
class QObject;

namespace ostrelo::test {

// What the server answers for one request target.
struct TestResponse {
	int status = 200;
	QByteArray body;
	// Send the headers and this many body bytes, then wait for release() (-1: send it all).
	qint64 holdAfter = -1;
	// Announce the whole body but send only this many bytes, then drop the connection.
	qint64 cutAfter = -1;
};

// A small HTTPS/1.1 server on 127.0.0.1 for the updater's tests, running on a thread of its
// own so the test's thread can sit in event loops or block. One request per connection;
// targets it does not know answer 404.
class TestHttpsServer {
public:
	TestHttpsServer();
	~TestHttpsServer();

	bool start(const QString &certPemPath, const QString &keyPemPath, quint16 port, QString *error);
	void stop();

	void setResponse(const QByteArray &target, const TestResponse &response);
	void clear(); // responses and the request log

	// "GET /path?query" of every request so far, in order, and the last User-Agent seen.
	QList<QByteArray> requests() const;
	QByteArray lastUserAgent() const;
	int heldCount() const;
	// Sends the rest of every held response.
	void release();

private:
	void accept();
	void answer(QObject *socket, const QByteArray &head);

	mutable std::mutex mutex_;
	std::map<QByteArray, TestResponse> responses_;
	QList<QByteArray> requests_;
	QByteArray userAgent_;
	QList<QObject *> held_; // server thread only
	int heldCount_ = 0;

	QThread *thread_ = nullptr;
	QObject *context_ = nullptr; // lives on thread_
	QSslServer *server_ = nullptr;
};

} // namespace ostrelo::test
