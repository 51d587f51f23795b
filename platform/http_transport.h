#pragma once

#include <cstdint>
#include <functional>
#include <string>

// One synchronous HTTP(S) exchange, the way the live client and the updater need it. On
// Windows it is WinHTTP; elsewhere libcurl. No Qt and no libobs here: the Windows build of
// this folder compiles on its own.
namespace ostrelo::net {

// Each phase's bound, WinHTTP style: send and receive bound every single step of the
// exchange, not its whole duration, so a slow but moving download is never cut.
struct HttpTimeouts {
	int resolveMs = 15000;
	int connectMs = 15000;
	int sendMs = 15000;
	int receiveMs = 15000;
};

// What happens to the response body.
enum class BodyMode {
	Ignore,   // only the status matters; the body is not read
	Truncate, // read up to maxBodyBytes; a chunk that would pass the cap ends the read, keeping what fit
	Strict,   // read up to maxBodyBytes; more is a failure (Phase::TooLarge)
};

struct HttpRequest {
	std::string method = "GET";
	bool secure = true; // TLS, with certificate and host verification always on
	std::string host;   // decoded host name or address, UTF-8
	int port = 443;
	std::string pathAndQuery; // "/path?encoded-query"; bytes a URL cannot carry are escaped on the wire
	std::string userAgent;
	std::string headers; // "Name: value\r\nName: value", added as one block; each line replaces a
			     // header of the same name, and an empty value removes it
	// When set, goes out as "Authorization: Bearer <token>". The token comes from the user and
	// is never spliced into `headers`: a token holding a control character (a pasted line
	// break would start a header of its own) is refused before anything is sent.
	std::string bearerToken;
	std::string body;
	HttpTimeouts timeouts;

	// A 3xx response is the final status unless this is set; even then a redirect never
	// leaves TLS for plain HTTP.
	bool followRedirects = false;

	BodyMode bodyMode = BodyMode::Ignore;
	int64_t maxBodyBytes = 0;
	std::string *responseBody = nullptr;                // chunks are appended here, if set
	std::function<bool(const char *, size_t)> bodySink; // and/or handed here; false stops the read

	// Extra root certificate (one PEM certificate) trusted for this request only, besides
	// the system's. Tests set it to trust their own loopback server; the product never does.
	std::string extraCaFile;
};

// The step at which an exchange failed, named after the WinHTTP call that does it.
enum class Phase {
	None,
	Open,     // session handle
	Connect,  // connection handle / TCP and TLS connection
	Request,  // request handle
	Headers,  // adding the header block (also: a header line or token holding a control character)
	Send,     // sending the request
	Receive,  // waiting for the response headers
	Status,   // reading the status code
	Read,     // reading the body
	TooLarge, // Strict body above the cap
	Write,    // the body sink refused a chunk
};

struct HttpResult {
	// The final HTTP status, 0 when none was received. Read, TooLarge and Write happen after
	// the status arrived, so they come with it; every earlier phase comes with 0.
	int status = 0;
	Phase failedAt = Phase::None;
	unsigned long code = 0; // the transport's own error code (GetLastError, CURLcode)
};

// "WinHTTP" or "libcurl": how error texts name the transport.
const char *transportName();

// The phase as error texts name it: "open", "connect", "request", "headers", "send",
// "receive", "status", "read", "too large", "write"; "" for Phase::None.
const char *phaseName(Phase phase);

HttpResult httpRequest(const HttpRequest &request);

} // namespace ostrelo::net
