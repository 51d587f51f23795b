// libcurl transport for every platform but Windows.

#include "platform/http_transport.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <mutex>

namespace ostrelo::net {

namespace {

using Clock = std::chrono::steady_clock;

struct Exchange {
	const HttpRequest *request = nullptr;
	int64_t received = 0;
	bool stoppedAtCap = false;
	bool tooLarge = false;
	bool sinkRefused = false;
	bool bodyIgnored = false;
	// WinHTTP bounds each send and each receive; curl has no such limits, so an exchange
	// that moves no byte for longer than the phase's time-out is aborted here instead.
	Clock::time_point lastActivity = Clock::now();
	curl_off_t lastUp = 0;
	curl_off_t lastDown = 0;
	bool stalled = false;
};

size_t onBody(char *data, size_t size, size_t count, void *user)
{
	auto *ex = static_cast<Exchange *>(user);
	const HttpRequest &req = *ex->request;
	const size_t n = size * count;
	switch (req.bodyMode) {
	case BodyMode::Ignore:
		ex->bodyIgnored = true;
		return 0; // the status is in; the body is not wanted
	case BodyMode::Truncate:
		if (ex->received + int64_t(n) > req.maxBodyBytes) {
			ex->stoppedAtCap = true;
			return 0;
		}
		break;
	case BodyMode::Strict:
		if (ex->received + int64_t(n) > req.maxBodyBytes) {
			ex->tooLarge = true;
			return 0;
		}
		break;
	}
	if (req.responseBody)
		req.responseBody->append(data, n);
	if (req.bodySink && !req.bodySink(data, n)) {
		ex->sinkRefused = true;
		return 0;
	}
	ex->received += int64_t(n);
	return n;
}

int onProgress(void *user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow)
{
	auto *ex = static_cast<Exchange *>(user);
	const auto now = Clock::now();
	if (dlnow != ex->lastDown || ulnow != ex->lastUp) {
		ex->lastDown = dlnow;
		ex->lastUp = ulnow;
		ex->lastActivity = now;
		return 0;
	}
	const HttpTimeouts &t = ex->request->timeouts;
	const int limitMs = std::max(t.sendMs, t.receiveMs);
	if (limitMs > 0 && now - ex->lastActivity > std::chrono::milliseconds(limitMs)) {
		ex->stalled = true;
		return 1;
	}
	return 0;
}

void globalInit()
{
	static std::once_flag once;
	std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string bracketedHost(const std::string &host)
{
	// An IPv6 literal needs brackets inside a URL.
	if (host.find(':') != std::string::npos && (host.empty() || host.front() != '['))
		return "[" + host + "]";
	return host;
}

Phase phaseOf(CURLcode code, bool connected)
{
	switch (code) {
	case CURLE_UNSUPPORTED_PROTOCOL:
	case CURLE_URL_MALFORMAT:
		return Phase::Request;
	case CURLE_COULDNT_RESOLVE_PROXY:
	case CURLE_COULDNT_RESOLVE_HOST:
	case CURLE_COULDNT_CONNECT:
	case CURLE_SSL_CONNECT_ERROR:
	case CURLE_PEER_FAILED_VERIFICATION:
	case CURLE_SSL_CACERT_BADFILE:
		return Phase::Connect;
	case CURLE_SEND_ERROR:
		return Phase::Send;
	case CURLE_OPERATION_TIMEDOUT:
		return connected ? Phase::Receive : Phase::Connect;
	default:
		return Phase::Receive;
	}
}

struct CurlHandle {
	CURL *curl = curl_easy_init();
	curl_slist *headers = nullptr;
	~CurlHandle()
	{
		curl_slist_free_all(headers);
		if (curl)
			curl_easy_cleanup(curl);
	}
};

} // namespace

const char *transportName()
{
	return "libcurl";
}

HttpResult httpRequest(const HttpRequest &request)
{
	globalInit();
	HttpResult result;
	CurlHandle h;
	if (!h.curl) {
		result.failedAt = Phase::Open;
		result.code = CURLE_FAILED_INIT;
		return result;
	}
	CURL *c = h.curl;

	const std::string url = std::string(request.secure ? "https://" : "http://") + bracketedHost(request.host) +
				":" + std::to_string(request.port) +
				(request.pathAndQuery.empty() ? std::string("/") : request.pathAndQuery);

	// Split the header block into lines for curl; a "Name:" line that names a header
	// curl would add itself replaces it, as WinHTTP's add-and-replace does.
	size_t start = 0;
	while (start < request.headers.size()) {
		size_t end = request.headers.find("\r\n", start);
		if (end == std::string::npos)
			end = request.headers.size();
		if (end > start) {
			const std::string line = request.headers.substr(start, end - start);
			curl_slist *next = curl_slist_append(h.headers, line.c_str());
			if (!next) {
				result.failedAt = Phase::Headers;
				result.code = CURLE_OUT_OF_MEMORY;
				return result;
			}
			h.headers = next;
		}
		start = end + 2;
	}
	// curl would announce "Expect: 100-continue" for larger bodies; WinHTTP never does.
	h.headers = curl_slist_append(h.headers, "Expect:");

	Exchange ex;
	ex.request = &request;

	curl_easy_setopt(c, CURLOPT_URL, url.c_str());
	curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, request.method.c_str());
	if (request.method == "GET") {
		curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
	} else {
		curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.body.data());
		curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
	}
	curl_easy_setopt(c, CURLOPT_USERAGENT, request.userAgent.c_str());
	curl_easy_setopt(c, CURLOPT_HTTPHEADER, h.headers);
	curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
	curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
	curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
	curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
	if (!request.extraCaFile.empty())
		curl_easy_setopt(c, CURLOPT_CAINFO, request.extraCaFile.c_str());
	curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, long(request.timeouts.resolveMs) + request.timeouts.connectMs);
	curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, onBody);
	curl_easy_setopt(c, CURLOPT_WRITEDATA, &ex);
	curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
	curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, onProgress);
	curl_easy_setopt(c, CURLOPT_XFERINFODATA, &ex);

	const CURLcode rc = curl_easy_perform(c);
	long status = 0;
	curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);

	if (rc == CURLE_OK || (rc == CURLE_WRITE_ERROR && (ex.stoppedAtCap || ex.bodyIgnored))) {
		result.status = int(status);
		return result;
	}
	if (rc == CURLE_WRITE_ERROR && ex.tooLarge) {
		result.status = int(status);
		result.failedAt = Phase::TooLarge;
		return result;
	}
	if (rc == CURLE_WRITE_ERROR && ex.sinkRefused) {
		result.status = int(status);
		result.failedAt = Phase::Write;
		return result;
	}
	if (status > 0) {
		// The status line arrived; the body did not come through.
		result.status = int(status);
		result.failedAt = Phase::Read;
		result.code = rc;
		return result;
	}
	curl_off_t connectTime = 0;
	curl_easy_getinfo(c, CURLINFO_CONNECT_TIME_T, &connectTime);
	result.failedAt =
		ex.stalled ? (connectTime > 0 ? Phase::Receive : Phase::Connect) : phaseOf(rc, connectTime > 0);
	result.code = rc;
	return result;
}

} // namespace ostrelo::net
