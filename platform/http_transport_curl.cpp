// libcurl transport for every platform but Windows.

#include "platform/http_transport.h"
#include "platform/http_transport_common.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <vector>

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
	// that moves no byte for longer than the phase's time-out is aborted here instead. The
	// clock starts once the connection stands: until then curl's connect time-out rules.
	bool connected = false;
	Clock::time_point lastActivity;
	curl_off_t lastUp = 0;
	curl_off_t lastDown = 0;
	bool stalled = false;
	bool stalledSending = false;
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

int onConnected(void *user, char *, char *, int, int)
{
	auto *ex = static_cast<Exchange *>(user);
	ex->connected = true;
	ex->lastActivity = Clock::now();
	return CURL_PREREQFUNC_OK;
}

int onProgress(void *user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow)
{
	auto *ex = static_cast<Exchange *>(user);
	if (!ex->connected)
		return 0;
	const auto now = Clock::now();
	if (dlnow != ex->lastDown || ulnow != ex->lastUp) {
		ex->lastDown = dlnow;
		ex->lastUp = ulnow;
		ex->lastActivity = now;
		return 0;
	}
	const HttpTimeouts &t = ex->request->timeouts;
	const bool sending = ulnow < curl_off_t(ex->request->body.size());
	const int limitMs = sending ? t.sendMs : t.receiveMs;
	if (limitMs > 0 && now - ex->lastActivity > std::chrono::milliseconds(limitMs)) {
		ex->stalled = true;
		ex->stalledSending = sending;
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
	if (host.find(':') != std::string::npos && host.front() != '[')
		return "[" + host + "]";
	return host;
}

Phase phaseOf(CURLcode code, const Exchange &ex)
{
	if (ex.stalled)
		return ex.stalledSending ? Phase::Send : Phase::Receive;
	switch (code) {
	case CURLE_UNSUPPORTED_PROTOCOL:
	case CURLE_URL_MALFORMAT:
		return Phase::Request;
	case CURLE_SEND_ERROR:
		return Phase::Send;
	default:
		// Resolving, TCP and the TLS handshake all come before the request goes out.
		return ex.connected ? Phase::Receive : Phase::Connect;
	}
}

struct CurlHandle {
	CURL *curl = curl_easy_init();
	curl_slist *headers = nullptr;
	CurlHandle() = default;
	CurlHandle(const CurlHandle &) = delete;
	CurlHandle &operator=(const CurlHandle &) = delete;
	~CurlHandle()
	{
		curl_slist_free_all(headers);
		if (curl)
			curl_easy_cleanup(curl);
	}
	bool addHeader(const std::string &line)
	{
		// On failure curl leaves the list as it was; keep it so it is still freed.
		curl_slist *next = curl_slist_append(headers, line.c_str());
		if (!next)
			return false;
		headers = next;
		return true;
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

	const std::string target =
		request.pathAndQuery.empty() ? std::string("/") : detail::escapeRequestTarget(request.pathAndQuery);
	const std::string url = std::string(request.secure ? "https://" : "http://") + bracketedHost(request.host) +
				":" + std::to_string(request.port) + target;

	std::vector<std::string> lines;
	if (request.host.empty() || !detail::requestHeaderLines(request, lines)) {
		result.failedAt = request.host.empty() ? Phase::Connect : Phase::Headers;
		result.code = CURLE_BAD_FUNCTION_ARGUMENT;
		return result;
	}
	// A line names a header curl would add itself replaces it, as WinHTTP's add-and-replace
	// does. Curl's own defaults that WinHTTP would not send are removed, so both transports
	// put the same request on the wire: no "Accept: */*", no form content type, and no
	// "Expect: 100-continue" for larger bodies.
	if (!detail::namesHeader(lines, "Accept"))
		lines.emplace_back("Accept:");
	if (!detail::namesHeader(lines, "Content-Type"))
		lines.emplace_back("Content-Type:");
	lines.emplace_back("Expect:");
	for (const std::string &line : lines) {
		if (!h.addHeader(line)) {
			result.failedAt = Phase::Headers;
			result.code = CURLE_OUT_OF_MEMORY;
			return result;
		}
	}

	Exchange ex;
	ex.request = &request;

	curl_easy_setopt(c, CURLOPT_URL, url.c_str());
	const bool head = detail::equalsIgnoreCase(request.method, "HEAD");
	const bool withBody = !head && (!request.body.empty() || detail::equalsIgnoreCase(request.method, "POST"));
	if (head) {
		curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
	} else if (!withBody) {
		curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
	} else {
		// A POST without a body still says "Content-Length: 0", as WinHTTP does.
		curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.body.data());
		curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
	}
	// Name the method only where curl's own word differs: a named method sticks through
	// followed redirects, while curl's own POST turns into a GET on a 302 or 303, as WinHTTP's.
	const char *curlSays = head ? "HEAD" : withBody ? "POST" : "GET";
	if (request.method != curlSays)
		curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, request.method.c_str());
	curl_easy_setopt(c, CURLOPT_USERAGENT, request.userAgent.c_str());
	curl_easy_setopt(c, CURLOPT_HTTPHEADER, h.headers);
	curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
	curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
	if (request.followRedirects) {
		curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
		curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, request.secure ? "https" : "http,https");
	}
	// Verification stays on whatever the caller or the environment says; extraCaFile only
	// adds a root (curl keeps the system's certificate directory next to the file).
	curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
	curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
	if (!request.extraCaFile.empty())
		curl_easy_setopt(c, CURLOPT_CAINFO, request.extraCaFile.c_str());
	curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, long(request.timeouts.resolveMs) + request.timeouts.connectMs);
	curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, onBody);
	curl_easy_setopt(c, CURLOPT_WRITEDATA, &ex);
	curl_easy_setopt(c, CURLOPT_PREREQFUNCTION, onConnected);
	curl_easy_setopt(c, CURLOPT_PREREQDATA, &ex);
	curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
	curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, onProgress);
	curl_easy_setopt(c, CURLOPT_XFERINFODATA, &ex);

	const CURLcode rc = curl_easy_perform(c);
	long status = 0;
	curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
	// A stall is a time-out, whichever way curl was made to stop.
	const CURLcode code = ex.stalled ? CURLE_OPERATION_TIMEDOUT : rc;

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
		result.code = code;
		return result;
	}
	result.failedAt = phaseOf(code, ex);
	result.code = code;
	return result;
}

} // namespace ostrelo::net
