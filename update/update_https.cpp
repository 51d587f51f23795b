#include "update/update_https.h"

#include "common/build_config.h"
#include "platform/http_transport.h"

#include <QIODevice>

#include <mutex>

namespace ostrelo {

namespace {

std::mutex g_caMutex;
std::string g_extraCaFile;

std::string extraCaFile()
{
	std::lock_guard lock(g_caMutex);
	return g_extraCaFile;
}

QString failureText(const net::HttpResult &result)
{
	const QString transport = QString::fromLatin1(net::transportName());
	const QString code = QString::number(result.code);
	switch (result.failedAt) {
	case net::Phase::Open:
		return QStringLiteral("%1 open failed (%2)").arg(transport, code);
	case net::Phase::Connect:
		return QStringLiteral("%1 connect failed (%2)").arg(transport, code);
	case net::Phase::Request:
	case net::Phase::Headers:
		return QStringLiteral("%1 request failed (%2)").arg(transport, code);
	case net::Phase::Send:
	case net::Phase::Receive:
		return QStringLiteral("%1 transfer failed (%2)").arg(transport, code);
	case net::Phase::Status:
		return QStringLiteral("%1 status failed (%2)").arg(transport, code);
	case net::Phase::Read:
		return QStringLiteral("%1 read failed (%2)").arg(transport, code);
	case net::Phase::TooLarge:
		return QStringLiteral("response too large");
	case net::Phase::Write:
		return QStringLiteral("could not write the download");
	case net::Phase::None:
		break;
	}
	return QString();
}

} // namespace

void setUpdateExtraCaFileForTests(const std::string &pemPath)
{
	std::lock_guard lock(g_caMutex);
	g_extraCaFile = pemPath;
}

int updateHttpsGet(const QUrl &url, QByteArray *body, QIODevice *device, qint64 maximum, QString *error)
{
	QString ignored;
	QString &err = error ? *error : ignored;
	err.clear();

	if (!url.isValid() || url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0) {
		err = QStringLiteral("HTTPS is required");
		return 0;
	}
	const QByteArray host = url.host(QUrl::FullyDecoded).toLatin1();
	const QByteArray vendorHost(kVendorHost);
	if (host != vendorHost && host != "www." + vendorHost) {
		err = QStringLiteral("unexpected host");
		return 0;
	}

	// The path goes out encoded, as it stands in the URL: decoding it would turn "%2F" into a
	// separator and a space into a request line the server cannot read.
	QByteArray pathAndQuery = url.path(QUrl::FullyEncoded).toUtf8();
	if (pathAndQuery.isEmpty())
		pathAndQuery = "/";
	if (url.hasQuery())
		pathAndQuery += '?' + url.query(QUrl::FullyEncoded).toUtf8();

	net::HttpRequest request;
	request.method = "GET";
	request.secure = true;
	request.host = host.toStdString();
	request.port = url.port(443);
	request.pathAndQuery = pathAndQuery.toStdString();
	request.userAgent = std::string("Ostrelo-OBS/") + kVersion;
	request.timeouts.resolveMs = 15000;
	request.timeouts.connectMs = 15000;
	request.timeouts.sendMs = 60000;
	request.timeouts.receiveMs = 60000;
	request.bodyMode = net::BodyMode::Strict;
	request.maxBodyBytes = maximum;
	request.bodySink = [body, device](const char *data, size_t size) {
		if (body)
			body->append(data, qsizetype(size));
		return !device || device->write(data, qint64(size)) == qint64(size);
	};
	request.extraCaFile = extraCaFile();

	const net::HttpResult result = net::httpRequest(request);
	if (result.failedAt != net::Phase::None) {
		err = failureText(result);
		return 0;
	}
	return result.status;
}

} // namespace ostrelo
