// The WinHTTP transport, run by winhttp_exchange.exe under Wine (wine.sh prepares the prefix
// and names the loader in OSTRELO_WINE). Every batch is one short Windows program run: the
// orders go in through a file, the outcomes come back through another.

#include "transport_under_test.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

extern char **environ;

namespace ostrelo::test {

namespace {

// Wine 8.0 is the stand-in for Windows here; where it answers differently from Windows (as
// Microsoft documents it), both answers are accepted and the product is built for Windows.
const TransportTraits kWinHttp = [] {
	TransportTraits t;
	t.name = "WinHTTP";
	// WinHttpConnect only makes a handle; the TCP connection is made by WinHttpSendRequest:
	// ERROR_WINHTTP_CANNOT_CONNECT.
	t.refused = {net::Phase::Send, {12029}};
	// ERROR_WINHTTP_TIMEOUT on Windows; Wine reports the socket's WSAETIMEDOUT.
	t.silent = {net::Phase::Receive, {12002, 10060}};
	t.stallInBody = {net::Phase::Read, {12002, 10060}};
	// ERROR_WINHTTP_INVALID_SERVER_RESPONSE.
	t.hangUp = {net::Phase::Receive, {12152}};
	// Refused before WinHTTP is called: ERROR_INVALID_PARAMETER.
	t.badHeaders = {net::Phase::Headers, {87}};
	// ERROR_WINHTTP_SECURE_FAILURE on Windows; Wine reports every certificate failure as
	// ERROR_WINHTTP_SECURE_CHANNEL_ERROR.
	t.untrustedPeer = {net::Phase::Send, {12175, 12157}};
	// The check of an extra root (tests only) closes the request handle in WinHTTP's
	// SENDING_REQUEST notice, which cancels the send on Windows; Wine sends the request it
	// has already built all the same. The exchange fails either way.
	t.extraRootCheckStopsRequest = false;
	// Windows matches IP addresses in certificates; Wine does not.
	t.matchesAddressesInCertificates = false;
	// Windows follows a POST answered with 302 as a GET; Wine fails it with
	// ERROR_WINHTTP_INCORRECT_HANDLE_STATE.
	t.postRedirectFailure = 12019;
	return t;
}();

std::string windowsPath(const std::string &path)
{
	std::string out = "Z:" + path;
	std::replace(out.begin(), out.end(), '/', '\\');
	return out;
}

std::string readFile(const std::string &path)
{
	std::ifstream in(path, std::ios::binary);
	return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool writeFile(const std::string &path, const std::string &text)
{
	std::ofstream out(path, std::ios::binary | std::ios::trunc);
	out << text;
	return bool(out.flush());
}

// A folder for the batch files, removed with the process.
struct WorkDir {
	std::string path;

	WorkDir()
	{
		const char *tmp = std::getenv("TMPDIR");
		std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/ostrelo-winhttp-XXXXXX";
		if (::mkdtemp(pattern.data()))
			path = pattern;
	}
	~WorkDir()
	{
		std::error_code ignored;
		if (!path.empty())
			std::filesystem::remove_all(path, ignored);
	}
};

const std::string &workDir()
{
	static const WorkDir dir;
	return dir.path;
}

// Runs `loader runner orders outcomes` with the output in `log`; false (with the reason in
// `log`'s text) when it did not end well within the limit.
bool runUnderWine(const std::string &orders, const std::string &outcomes, const std::string &log)
{
	const char *loader = std::getenv("OSTRELO_WINE");
	if (!loader || !*loader) {
		writeFile(log, "OSTRELO_WINE is not set: run this test through wine.sh");
		return false;
	}
	const std::string runner = OSTRELO_WINHTTP_EXCHANGE;
	const std::string ordersArg = windowsPath(orders);
	const std::string outcomesArg = windowsPath(outcomes);
	char *argv[] = {const_cast<char *>(loader), const_cast<char *>(runner.c_str()),
			const_cast<char *>(ordersArg.c_str()), const_cast<char *>(outcomesArg.c_str()), nullptr};
	posix_spawn_file_actions_t files;
	posix_spawn_file_actions_init(&files);
	posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
	posix_spawn_file_actions_addopen(&files, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
	posix_spawn_file_actions_adddup2(&files, 1, 2);
	pid_t pid = 0;
	const int spawned = posix_spawn(&pid, loader, &files, nullptr, argv, environ);
	posix_spawn_file_actions_destroy(&files);
	if (spawned != 0) {
		writeFile(log, std::string("cannot start ") + loader);
		return false;
	}
	// Far above any time-out the cases set, so only a transport that ignores its time-outs
	// gets here.
	const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(120);
	int status = 0;
	while (::waitpid(pid, &status, WNOHANG) == 0) {
		if (std::chrono::steady_clock::now() > limit) {
			::kill(pid, SIGKILL);
			::waitpid(pid, &status, 0);
			writeFile(log, readFile(log) + "\n(stopped after 120 s)");
			return false;
		}
		std::this_thread::sleep_for(std::chrono::milliseconds(5));
	}
	return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

const TransportTraits &transportTraits()
{
	return kWinHttp;
}

std::vector<ExchangeOutcome> exchange(const ExchangeBatch &batch)
{
	static std::mutex mutex;
	static int serial = 0;
	std::string base;
	{
		std::lock_guard<std::mutex> lock(mutex);
		base = workDir() + "/batch-" + std::to_string(++serial);
	}
	ExchangeBatch translated = batch;
	for (ExchangeOrder &o : translated.orders) {
		if (!o.request.extraCaFile.empty())
			o.request.extraCaFile = windowsPath(o.request.extraCaFile);
	}
	std::vector<ExchangeOutcome> outcomes;
	const std::string orders = base + ".orders";
	const std::string results = base + ".outcomes";
	const std::string log = base + ".log";
	if (workDir().empty() || !writeFile(orders, encodeBatch(translated)) || !runUnderWine(orders, results, log) ||
	    !decodeOutcomes(readFile(results), outcomes) || outcomes.size() != batch.orders.size()) {
		ADD_FAILURE() << "the WinHTTP run under Wine failed: " << readFile(log);
		// One outcome per order all the same, none a success, so every check that follows fails too.
		ExchangeOutcome none;
		none.result.status = -1;
		none.result.failedAt = net::Phase::Open;
		outcomes.assign(batch.orders.size(), none);
	}
	return outcomes;
}

ExchangeOutcome exchange(const ExchangeOrder &order)
{
	return exchange(ExchangeBatch{{order}, 1}).front();
}

} // namespace ostrelo::test
