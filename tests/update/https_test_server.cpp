#include "tests/update/https_test_server.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QThread>

namespace ostrelo::test {

namespace {

const char *reason(int status)
{
	switch (status) {
	case 200:
		return "OK";
	case 404:
		return "Not Found";
	default:
		return "Status";
	}
}

QByteArray readAll(const QString &path)
{
	QFile f(path);
	return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TestHttpsServer::TestHttpsServer() = default;

TestHttpsServer::~TestHttpsServer()
{
	stop();
}

bool TestHttpsServer::start(const QString &certPemPath, const QString &keyPemPath, quint16 port, QString *error)
{
	const QList<QSslCertificate> chain = QSslCertificate::fromData(readAll(certPemPath), QSsl::Pem);
	const QSslKey key(readAll(keyPemPath), QSsl::Rsa, QSsl::Pem);
	if (chain.isEmpty() || key.isNull()) {
		*error = QStringLiteral("cannot read %1 or %2").arg(certPemPath, keyPemPath);
		return false;
	}
	QSslConfiguration config = QSslConfiguration::defaultConfiguration();
	config.setLocalCertificateChain(chain);
	config.setPrivateKey(key);
	config.setPeerVerifyMode(QSslSocket::VerifyNone);

	thread_ = new QThread;
	thread_->start();
	context_ = new QObject;
	context_->moveToThread(thread_);
	bool listening = false;
	QMetaObject::invokeMethod(
		context_,
		[&] {
			server_ = new QSslServer(context_);
			server_->setSslConfiguration(config);
			QObject::connect(server_, &QTcpServer::pendingConnectionAvailable, context_,
					 [this] { accept(); });
			listening = server_->listen(QHostAddress::LocalHost, port);
			if (!listening)
				*error = server_->errorString();
		},
		Qt::BlockingQueuedConnection);
	return listening;
}

void TestHttpsServer::stop()
{
	if (!thread_)
		return;
	QMetaObject::invokeMethod(
		context_, [this] { delete context_; }, Qt::BlockingQueuedConnection);
	thread_->quit();
	thread_->wait();
	delete thread_;
	thread_ = nullptr;
	context_ = nullptr;
	server_ = nullptr;
}

void TestHttpsServer::setResponse(const QByteArray &target, const TestResponse &response)
{
	std::lock_guard lock(mutex_);
	responses_[target] = response;
}

void TestHttpsServer::clear()
{
	std::lock_guard lock(mutex_);
	responses_.clear();
	requests_.clear();
	userAgent_.clear();
	heldCount_ = 0;
}

QList<QByteArray> TestHttpsServer::requests() const
{
	std::lock_guard lock(mutex_);
	return requests_;
}

QByteArray TestHttpsServer::lastUserAgent() const
{
	std::lock_guard lock(mutex_);
	return userAgent_;
}

int TestHttpsServer::heldCount() const
{
	std::lock_guard lock(mutex_);
	return heldCount_;
}

void TestHttpsServer::release()
{
	QMetaObject::invokeMethod(
		context_,
		[this] {
			for (QObject *o : held_) {
				auto *socket = static_cast<QSslSocket *>(o);
				socket->write(socket->property("rest").toByteArray());
				socket->disconnectFromHost();
			}
			held_.clear();
		},
		Qt::BlockingQueuedConnection);
}

void TestHttpsServer::accept()
{
	while (QTcpSocket *pending = server_->nextPendingConnection()) {
		auto *socket = static_cast<QSslSocket *>(pending);
		socket->setParent(context_);
		auto head = std::make_shared<QByteArray>();
		QObject::connect(socket, &QIODevice::readyRead, socket, [this, socket, head] {
			head->append(socket->readAll());
			if (head->contains("\r\n\r\n") && !socket->property("answered").toBool()) {
				socket->setProperty("answered", true);
				answer(socket, *head);
			}
		});
		QObject::connect(socket, &QAbstractSocket::disconnected, socket, [this, socket] {
			held_.removeAll(socket);
			socket->deleteLater();
		});
		if (socket->bytesAvailable() > 0)
			emit socket->readyRead();
	}
}

void TestHttpsServer::answer(QObject *o, const QByteArray &head)
{
	auto *socket = static_cast<QSslSocket *>(o);
	const QList<QByteArray> lines = head.left(head.indexOf("\r\n\r\n")).split('\n');
	const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
	const QByteArray target = requestLine.value(1);
	TestResponse response;
	response.status = 404;
	{
		std::lock_guard lock(mutex_);
		requests_.append(requestLine.value(0) + ' ' + target);
		for (const QByteArray &line : lines)
			if (line.toLower().startsWith("user-agent:"))
				userAgent_ = line.mid(11).trimmed();
		const auto it = responses_.find(target);
		if (it != responses_.end())
			response = it->second;
		if (response.holdAfter >= 0)
			++heldCount_;
	}
	socket->write("HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reason(response.status) +
		      "\r\nContent-Length: " + QByteArray::number(response.body.size()) +
		      "\r\nConnection: close\r\n\r\n");
	if (response.cutAfter >= 0) {
		socket->write(response.body.left(response.cutAfter));
		socket->flush();
		socket->disconnectFromHost();
	} else if (response.holdAfter >= 0) {
		socket->write(response.body.left(response.holdAfter));
		socket->setProperty("rest", response.body.mid(response.holdAfter));
		held_.append(socket);
	} else {
		socket->write(response.body);
		socket->disconnectFromHost();
	}
}

} // namespace ostrelo::test
