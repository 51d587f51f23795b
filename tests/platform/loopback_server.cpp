#include "loopback_server.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <set>
#include <stdexcept>
#include <thread>

namespace ostrelo::test {

namespace {

char lower(char c)
{
	return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b)
{
	return a.size() == b.size() &&
	       std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

std::string trim(std::string_view s)
{
	while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
		s.remove_prefix(1);
	while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
		s.remove_suffix(1);
	return std::string(s);
}

const char *reasonOf(int status)
{
	switch (status) {
	case 200:
		return "OK";
	case 204:
		return "No Content";
	case 302:
		return "Found";
	case 401:
		return "Unauthorized";
	case 404:
		return "Not Found";
	case 500:
		return "Internal Server Error";
	default:
		return "Status";
	}
}

// One accepted connection, plain or TLS.
struct Connection {
	int fd = -1;
	SSL *ssl = nullptr;

	~Connection()
	{
		if (ssl) {
			SSL_shutdown(ssl);
			SSL_free(ssl);
		}
		if (fd >= 0)
			::close(fd);
	}

	long read(char *buf, size_t n)
	{
		if (ssl)
			return SSL_read(ssl, buf, int(n));
		return ::recv(fd, buf, n, 0);
	}

	bool writeAll(std::string_view data)
	{
		while (!data.empty()) {
			const long n = ssl ? SSL_write(ssl, data.data(), int(data.size()))
					   : ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
			if (n <= 0)
				return false;
			data.remove_prefix(size_t(n));
		}
		return true;
	}
};

bool readRequest(Connection &conn, RecordedRequest &out)
{
	std::string data;
	char buf[16384];
	size_t headEnd = std::string::npos;
	while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
		if (data.size() > (1u << 20))
			return false;
		const long n = conn.read(buf, sizeof buf);
		if (n <= 0)
			return false;
		data.append(buf, size_t(n));
	}
	const std::string_view head(data.data(), headEnd);
	size_t lineEnd = head.find("\r\n");
	const std::string_view requestLine = head.substr(0, lineEnd);
	const size_t sp1 = requestLine.find(' ');
	const size_t sp2 = requestLine.rfind(' ');
	if (sp1 == std::string_view::npos || sp2 <= sp1)
		return false;
	out.method = std::string(requestLine.substr(0, sp1));
	out.target = std::string(requestLine.substr(sp1 + 1, sp2 - sp1 - 1));

	size_t contentLength = 0;
	while (lineEnd != std::string_view::npos) {
		const size_t start = lineEnd + 2;
		lineEnd = head.find("\r\n", start);
		const std::string_view line = head.substr(
			start, lineEnd == std::string_view::npos ? std::string_view::npos : lineEnd - start);
		const size_t colon = line.find(':');
		if (colon == std::string_view::npos)
			continue;
		std::string name(line.substr(0, colon));
		std::string value = trim(line.substr(colon + 1));
		if (sameName(name, "Content-Length"))
			contentLength = size_t(std::stoull(value));
		out.headers.emplace_back(std::move(name), std::move(value));
	}

	out.body = data.substr(headEnd + 4);
	while (out.body.size() < contentLength) {
		const long n = conn.read(buf, sizeof buf);
		if (n <= 0)
			return false;
		out.body.append(buf, size_t(n));
	}
	return true;
}

} // namespace

std::optional<std::string> RecordedRequest::header(std::string_view name) const
{
	for (const auto &[key, value] : headers) {
		if (sameName(key, name))
			return value;
	}
	return std::nullopt;
}

int RecordedRequest::headerCount(std::string_view name) const
{
	return int(
		std::count_if(headers.begin(), headers.end(), [&](const auto &h) { return sameName(h.first, name); }));
}

std::string RecordedRequest::path() const
{
	return target.substr(0, target.find('?'));
}

std::string RecordedRequest::query() const
{
	const size_t q = target.find('?');
	return q == std::string::npos ? std::string() : target.substr(q + 1);
}

Reply Reply::json(int status, std::string body)
{
	Reply r;
	r.status = status;
	r.headers.emplace_back("Content-Type", "application/json");
	r.body = std::move(body);
	return r;
}

Reply Reply::of(Kind kind)
{
	Reply r;
	r.kind = kind;
	return r;
}

void Gate::open()
{
	{
		std::lock_guard<std::mutex> lock(mutex_);
		open_ = true;
	}
	cv_.notify_all();
}

bool Gate::wait(std::chrono::milliseconds limit)
{
	std::unique_lock<std::mutex> lock(mutex_);
	return cv_.wait_for(lock, limit, [this] { return open_; });
}

bool Gate::isOpen()
{
	std::lock_guard<std::mutex> lock(mutex_);
	return open_;
}

std::string testCertDir()
{
	return OSTRELO_TEST_CERT_DIR;
}

TlsFiles testServerTls(const std::string &name)
{
	return {testCertDir() + "/" + name + ".pem", testCertDir() + "/" + name + ".key"};
}

struct LoopbackServer::Impl {
	Handler handler;
	SSL_CTX *tls = nullptr;
	int listenFd = -1;
	int port = 0;
	std::thread acceptThread;

	mutable std::mutex mutex;
	mutable std::condition_variable changed;
	bool stopping = false;
	std::vector<RecordedRequest> requests;
	std::set<int> openFds;
	std::vector<std::thread> workers;
	int failedHandshakes = 0;

	// Waits for the stop of the server, at most `limit`; true when stopping.
	bool sleepUnlessStopping(std::chrono::milliseconds limit)
	{
		std::unique_lock<std::mutex> lock(mutex);
		return changed.wait_for(lock, limit, [this] { return stopping; });
	}

	void serve(int fd)
	{
		Connection conn;
		conn.fd = fd;
		if (tls) {
			conn.ssl = SSL_new(tls);
			SSL_set_fd(conn.ssl, fd);
			if (SSL_accept(conn.ssl) <= 0) {
				ERR_clear_error();
				std::lock_guard<std::mutex> lock(mutex);
				++failedHandshakes;
				openFds.erase(fd);
				return;
			}
		}
		RecordedRequest request;
		const bool complete = readRequest(conn, request);
		if (complete) {
			std::lock_guard<std::mutex> lock(mutex);
			requests.push_back(request);
		}
		changed.notify_all();
		if (complete)
			answer(conn, request);
		std::lock_guard<std::mutex> lock(mutex);
		openFds.erase(fd);
	}

	void answer(Connection &conn, const RecordedRequest &request)
	{
		const Reply reply = handler(request);
		if (reply.delay.count() > 0 && sleepUnlessStopping(reply.delay))
			return;
		switch (reply.kind) {
		case Reply::Kind::Close:
			return;
		case Reply::Kind::Silent:
			sleepUnlessStopping(std::chrono::hours(1));
			return;
		case Reply::Kind::Answer:
		case Reply::Kind::StallInBody:
			break;
		}
		std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " + reasonOf(reply.status) + "\r\n";
		for (const auto &[name, value] : reply.headers)
			head += name + ": " + value + "\r\n";
		head += "Content-Length: " + std::to_string(reply.body.size()) + "\r\nConnection: close\r\n\r\n";
		if (!conn.writeAll(head))
			return;
		if (reply.kind == Reply::Kind::StallInBody) {
			conn.writeAll(std::string_view(reply.body).substr(0, reply.body.size() / 2));
			sleepUnlessStopping(std::chrono::hours(1));
			return;
		}
		const size_t step = reply.chunkBytes ? reply.chunkBytes : reply.body.size();
		for (size_t at = 0; at < reply.body.size(); at += step) {
			if (!conn.writeAll(std::string_view(reply.body).substr(at, step)))
				return;
		}
	}

	void acceptLoop()
	{
		for (;;) {
			pollfd p{listenFd, POLLIN, 0};
			const int ready = ::poll(&p, 1, 20);
			{
				std::lock_guard<std::mutex> lock(mutex);
				if (stopping)
					return;
			}
			if (ready <= 0)
				continue;
			const int fd = ::accept(listenFd, nullptr, nullptr);
			if (fd < 0)
				continue;
			std::lock_guard<std::mutex> lock(mutex);
			openFds.insert(fd);
			workers.emplace_back([this, fd] { serve(fd); });
		}
	}
};

LoopbackServer::LoopbackServer(Handler handler, std::optional<TlsFiles> tls) : impl_(std::make_unique<Impl>())
{
	// A client may hang up while an answer is still going out.
	std::signal(SIGPIPE, SIG_IGN);
	impl_->handler = std::move(handler);
	if (tls) {
		impl_->tls = SSL_CTX_new(TLS_server_method());
		if (!impl_->tls || SSL_CTX_use_certificate_chain_file(impl_->tls, tls->certFile.c_str()) != 1 ||
		    SSL_CTX_use_PrivateKey_file(impl_->tls, tls->keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
			throw std::runtime_error("loopback server: cannot load " + tls->certFile);
	}
	impl_->listenFd = ::socket(AF_INET, SOCK_STREAM, 0);
	sockaddr_in addr{};
	addr.sin_family = AF_INET;
	addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	addr.sin_port = 0;
	socklen_t len = sizeof addr;
	if (impl_->listenFd < 0 || ::bind(impl_->listenFd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
	    ::listen(impl_->listenFd, 128) != 0 ||
	    ::getsockname(impl_->listenFd, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
		throw std::runtime_error(std::string("loopback server: ") + std::strerror(errno));
	impl_->port = ntohs(addr.sin_port);
	impl_->acceptThread = std::thread([this] { impl_->acceptLoop(); });
}

LoopbackServer::~LoopbackServer()
{
	{
		std::lock_guard<std::mutex> lock(impl_->mutex);
		impl_->stopping = true;
		for (const int fd : impl_->openFds)
			::shutdown(fd, SHUT_RDWR);
	}
	impl_->changed.notify_all();
	impl_->acceptThread.join();
	// No new workers after the accept loop ended; a worker still blocked in a read wakes up
	// from the shutdown above.
	for (std::thread &t : impl_->workers)
		t.join();
	::close(impl_->listenFd);
	if (impl_->tls)
		SSL_CTX_free(impl_->tls);
}

int LoopbackServer::port() const
{
	return impl_->port;
}

std::string LoopbackServer::url(std::string_view pathAndQuery) const
{
	return std::string(impl_->tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(impl_->port) +
	       std::string(pathAndQuery);
}

std::vector<RecordedRequest> LoopbackServer::requests() const
{
	std::lock_guard<std::mutex> lock(impl_->mutex);
	return impl_->requests;
}

size_t LoopbackServer::requestCount() const
{
	std::lock_guard<std::mutex> lock(impl_->mutex);
	return impl_->requests.size();
}

bool LoopbackServer::waitForRequests(size_t count, std::chrono::milliseconds limit) const
{
	std::unique_lock<std::mutex> lock(impl_->mutex);
	return impl_->changed.wait_for(lock, limit, [&] { return impl_->requests.size() >= count; });
}

int LoopbackServer::failedHandshakes() const
{
	std::lock_guard<std::mutex> lock(impl_->mutex);
	return impl_->failedHandshakes;
}

int closedPort()
{
	const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
	sockaddr_in addr{};
	addr.sin_family = AF_INET;
	addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	socklen_t len = sizeof addr;
	::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
	::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
	::close(fd);
	return ntohs(addr.sin_port);
}

} // namespace ostrelo::test
