#pragma once

// A small HTTP/1.1 server on 127.0.0.1 for the network tests: it records every request as it
// arrived on the wire and answers as the test says, including the ways real servers go
// wrong (never answering, closing at once, stalling inside the body). Plain sockets and
// OpenSSL, one thread per connection, one request per connection. No Qt, so the transport's
// GoogleTest programs and the client's QtTest programs both use it.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrelo::test {

struct RecordedRequest {
	std::string method;
	std::string target; // as sent: path and query, still encoded
	std::vector<std::pair<std::string, std::string>> headers;
	std::string body;

	// First value of a header (name compared case-insensitively), or nullopt.
	std::optional<std::string> header(std::string_view name) const;
	int headerCount(std::string_view name) const;
	std::string path() const;  // target up to "?"
	std::string query() const; // target after "?", or ""
};

struct Reply {
	enum class Kind {
		Answer,      // status line, headers, body
		Silent,      // read the request, then never answer (until the server stops)
		Close,       // read the request, then close without a byte
		StallInBody, // headers with the full Content-Length, half the body, then nothing
	};
	Kind kind = Kind::Answer;
	int status = 200;
	std::vector<std::pair<std::string, std::string>> headers;
	std::string body;
	std::chrono::milliseconds delay{0}; // before the first byte of the answer
	size_t chunkBytes = 0;              // when set, the body goes out in writes of this size

	static Reply json(int status, std::string body);
	static Reply of(Kind kind);
};

// A door a handler waits at until the test opens it (never longer than the limit, so a
// failing test cannot hang the run).
class Gate {
public:
	void open();
	bool wait(std::chrono::milliseconds limit = std::chrono::seconds(20));
	bool isOpen();

private:
	std::mutex mutex_;
	std::condition_variable cv_;
	bool open_ = false;
};

struct TlsFiles {
	std::string certFile; // PEM chain the server presents
	std::string keyFile;
};

// Where the test certificates are (built by make_test_certs.sh): ca.pem is the test root;
// server.pem is 127.0.0.1/localhost signed by it; wrong-name.pem names another host;
// self-signed.pem is 127.0.0.1 signed by nobody the client trusts; other-root.pem is
// 127.0.0.1/localhost issued by a root no test trusts; store-server.pem is localhost issued by
// store-ca.pem, which only the Wine stage trusts (in its prefix's certificate store).
std::string testCertDir();
TlsFiles testServerTls(const std::string &name); // "server", "wrong-name", "self-signed", ...

class LoopbackServer {
public:
	using Handler = std::function<Reply(const RecordedRequest &)>;

	explicit LoopbackServer(Handler handler, std::optional<TlsFiles> tls = std::nullopt);
	~LoopbackServer(); // stops: unblocks Silent and delayed answers, joins every thread
	LoopbackServer(const LoopbackServer &) = delete;
	LoopbackServer &operator=(const LoopbackServer &) = delete;

	int port() const;
	std::string url(std::string_view pathAndQuery = {}) const; // http(s)://127.0.0.1:port + pathAndQuery

	std::vector<RecordedRequest> requests() const;
	size_t requestCount() const;
	bool waitForRequests(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(20)) const;

	// Connections that ended in a failed TLS handshake.
	int failedHandshakes() const;

private:
	struct Impl;
	std::unique_ptr<Impl> impl_;
};

// A port on 127.0.0.1 where nothing listens (bound once, then released).
int closedPort();

} // namespace ostrelo::test
