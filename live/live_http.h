#pragma once

#include "platform/http_transport.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <optional>
#include <string>

namespace ostrelo {

// How the live client's requests travel. The defaults are the product's; tests shorten the
// time-outs and trust their own loopback certificate through these.
struct LiveTransportOptions {
	net::HttpTimeouts timeouts; // 15000 ms for each phase
	std::string extraCaFile;
};

// An update's response is read up to this many bytes; the rest is left unread.
inline constexpr int64_t kLiveMaxResponseBytes = 262144;

// Where a live URL's request goes: TLS only for "https" (any case), port 443 or 80 unless
// the URL names one, the decoded path ("/" when empty) and the encoded query.
struct LiveTarget {
	bool secure = false;
	std::string host;
	int port = 0;
	std::string pathAndQuery;
};

// nullopt when the URL is not valid or has no host.
std::optional<LiveTarget> liveTarget(const QUrl &url);

// One exchange of the live client. Returns the final HTTP status, or 0 with `error` set to
// "invalid URL" or "<transport> <phase> failed (<code>)". A status of 400 or more leaves
// `error` empty. With `response`, the body is read up to kLiveMaxResponseBytes; without it,
// the body is not read at all.
int liveHttpRequest(const QString &method, const QUrl &url, const QString &token, const QByteArray &body,
		    QString &error, QByteArray *response, const LiveTransportOptions &options = {});

} // namespace ostrelo
