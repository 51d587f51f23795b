#include "live/live_http.h"

#include "common/build_config.h"

namespace ostrelo {

std::optional<LiveTarget> liveTarget(const QUrl &url)
{
	const QString host = url.host(QUrl::FullyDecoded);
	if (!url.isValid() || host.isEmpty())
		return std::nullopt;
	LiveTarget target;
	target.secure = url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
	target.host = host.toStdString();
	target.port = url.port(target.secure ? 443 : 80);
	QString path = url.path(QUrl::FullyDecoded);
	if (path.isEmpty())
		path = QStringLiteral("/");
	if (url.hasQuery())
		path += QLatin1Char('?') + url.query(QUrl::FullyEncoded);
	target.pathAndQuery = path.toStdString();
	return target;
}

int liveHttpRequest(const QString &method, const QUrl &url, const QString &token, const QByteArray &body,
		    QString &error, QByteArray *response, const LiveTransportOptions &options)
{
	const std::optional<LiveTarget> target = liveTarget(url);
	if (!target) {
		error = QStringLiteral("invalid URL");
		return 0;
	}

	std::string headers = "Accept: application/json";
	if (method.compare(QLatin1String("POST"), Qt::CaseInsensitive) == 0)
		headers += "\r\nContent-Type: application/json";

	net::HttpRequest request;
	request.method = method.toStdString();
	request.secure = target->secure;
	request.host = target->host;
	request.port = target->port;
	request.pathAndQuery = target->pathAndQuery;
	request.userAgent = std::string("Ostrelo-OBS/") + kVersion;
	request.headers = headers;
	request.bearerToken = token.toStdString();
	request.body = body.toStdString();
	request.timeouts = options.timeouts;
	request.extraCaFile = options.extraCaFile;

	std::string received;
	if (response) {
		request.bodyMode = net::BodyMode::Truncate;
		request.maxBodyBytes = kLiveMaxResponseBytes;
		request.responseBody = &received;
	}

	const net::HttpResult result = net::httpRequest(request);
	if (response)
		*response = QByteArray::fromStdString(received);
	// Once a status arrived it decides; a body that broke off on the way only loses its end.
	if (result.status > 0) {
		if (result.status >= 400)
			error.clear();
		return result.status;
	}
	error = QStringLiteral("%1 %2 failed (%3)")
			.arg(QString::fromLatin1(net::transportName()),
			     QString::fromLatin1(net::phaseName(result.failedAt)), QString::number(result.code));
	return 0;
}

} // namespace ostrelo
