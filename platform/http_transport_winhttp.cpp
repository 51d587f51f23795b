// WinHTTP transport (Windows). Synchronous: the caller runs it on a pool thread.

#include "platform/http_transport.h"
#include "platform/http_transport_common.h"

#include <windows.h>
#include <winhttp.h>
#include <wincrypt.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace ostrelo::net {

namespace {

std::wstring widen(const std::string &utf8)
{
	if (utf8.empty())
		return std::wstring();
	const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
	std::wstring out(size_t(n > 0 ? n : 0), L'\0');
	if (n > 0)
		MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), n);
	return out;
}

// One WinHTTP handle, closed on every way out.
class Handle {
public:
	explicit Handle(HINTERNET h = nullptr) : h_(h) {}
	~Handle()
	{
		if (h_)
			WinHttpCloseHandle(h_);
	}
	Handle(const Handle &) = delete;
	Handle &operator=(const Handle &) = delete;
	HINTERNET get() const { return h_; }
	explicit operator bool() const { return h_ != nullptr; }

private:
	HINTERNET h_;
};

HttpResult failure(Phase phase, DWORD code, int status = 0)
{
	HttpResult r;
	r.status = status;
	r.failedAt = phase;
	r.code = code;
	return r;
}

// True when the chain of `server` ends in a root that `engine` trusts and names `host`.
bool chainTrusted(HCERTCHAINENGINE engine, PCCERT_CONTEXT server, const std::wstring &host)
{
	CERT_CHAIN_PARA para = {};
	para.cbSize = sizeof para;
	PCCERT_CHAIN_CONTEXT chain = nullptr;
	if (!CertGetCertificateChain(engine, server, nullptr, server->hCertStore, &para, 0, nullptr, &chain))
		return false;
	SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl = {};
	ssl.cbSize = sizeof ssl;
	ssl.dwAuthType = AUTHTYPE_SERVER;
	ssl.pwszServerName = const_cast<wchar_t *>(host.c_str());
	CERT_CHAIN_POLICY_PARA policy = {};
	policy.cbSize = sizeof policy;
	policy.pvExtraPolicyPara = &ssl;
	CERT_CHAIN_POLICY_STATUS status = {};
	status.cbSize = sizeof status;
	const bool ok =
		CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status) && status.dwError == 0;
	CertFreeCertificateChain(chain);
	return ok;
}

// The server's certificate against the system's roots, else against the one extra root of
// the PEM file. WinHTTP was told to let an unknown root pass the handshake only because of
// this check, which runs before any byte of the response is read.
bool serverTrusted(HINTERNET request, const std::string &caFile, const std::wstring &host)
{
	PCCERT_CONTEXT server = nullptr;
	DWORD size = sizeof server;
	if (!WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &server, &size) || !server)
		return false;
	bool trusted = chainTrusted(nullptr, server, host);
	if (!trusted) {
		std::ifstream in(caFile, std::ios::binary);
		const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
		DWORD derSize = 0;
		std::vector<BYTE> der;
		if (!pem.empty() && CryptStringToBinaryA(pem.c_str(), DWORD(pem.size()), CRYPT_STRING_BASE64HEADER,
							 nullptr, &derSize, nullptr, nullptr)) {
			der.resize(derSize);
			if (!CryptStringToBinaryA(pem.c_str(), DWORD(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(),
						  &derSize, nullptr, nullptr))
				der.clear();
		}
		PCCERT_CONTEXT root =
			der.empty() ? nullptr
				    : CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), DWORD(der.size()));
		HCERTSTORE roots = root ? CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr) : nullptr;
		if (roots && CertAddCertificateContextToStore(roots, root, CERT_STORE_ADD_ALWAYS, nullptr)) {
			CERT_CHAIN_ENGINE_CONFIG config = {};
			config.cbSize = sizeof config;
			config.hExclusiveRoot = roots;
			HCERTCHAINENGINE engine = nullptr;
			if (CertCreateCertificateChainEngine(&config, &engine)) {
				trusted = chainTrusted(engine, server, host);
				CertFreeCertificateChainEngine(engine);
			}
		}
		if (roots)
			CertCloseStore(roots, 0);
		if (root)
			CertFreeCertificateContext(root);
	}
	CertFreeCertificateContext(server);
	return trusted;
}

} // namespace

const char *transportName()
{
	return "WinHTTP";
}

HttpResult httpRequest(const HttpRequest &request)
{
	std::vector<std::string> lines;
	if (!detail::splitHeaderBlock(request.headers, lines))
		return failure(Phase::Headers, ERROR_INVALID_PARAMETER);

	const std::wstring agent = widen(request.userAgent);
	const Handle session(WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
					 WINHTTP_NO_PROXY_BYPASS, 0));
	if (!session)
		return failure(Phase::Open, GetLastError());
	WinHttpSetTimeouts(session.get(), request.timeouts.resolveMs, request.timeouts.connectMs,
			   request.timeouts.sendMs, request.timeouts.receiveMs);

	const std::wstring host = widen(request.host);
	const Handle connection(WinHttpConnect(session.get(), host.c_str(), INTERNET_PORT(request.port), 0));
	if (!connection)
		return failure(Phase::Connect, GetLastError());

	const std::wstring method = widen(request.method);
	const std::wstring path = widen(request.pathAndQuery.empty() ? std::string("/") : request.pathAndQuery);
	const Handle req(WinHttpOpenRequest(connection.get(), method.c_str(), path.c_str(), nullptr, WINHTTP_NO_REFERER,
					    WINHTTP_DEFAULT_ACCEPT_TYPES, request.secure ? WINHTTP_FLAG_SECURE : 0));
	if (!req)
		return failure(Phase::Request, GetLastError());

	if (!request.followRedirects) {
		DWORD off = WINHTTP_DISABLE_REDIRECTS;
		WinHttpSetOption(req.get(), WINHTTP_OPTION_DISABLE_FEATURE, &off, sizeof off);
	}
	const bool checkRootOurselves = request.secure && !request.extraCaFile.empty();
	if (checkRootOurselves) {
		DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA; // name and dates are still checked by WinHTTP
		WinHttpSetOption(req.get(), WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
	}

	if (!lines.empty()) {
		std::string block;
		for (const std::string &line : lines)
			block += (block.empty() ? "" : "\r\n") + line;
		const std::wstring headers = widen(block);
		if (!WinHttpAddRequestHeaders(req.get(), headers.c_str(), DWORD(-1L),
					      WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE))
			return failure(Phase::Headers, GetLastError());
	}

	const DWORD bodySize = DWORD(request.body.size());
	LPVOID bodyData = request.body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char *>(request.body.data());
	if (!WinHttpSendRequest(req.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, bodyData, bodySize, bodySize, 0))
		return failure(Phase::Send, GetLastError());
	if (checkRootOurselves && !serverTrusted(req.get(), request.extraCaFile, host))
		return failure(Phase::Send, ERROR_WINHTTP_SECURE_FAILURE);

	if (!WinHttpReceiveResponse(req.get(), nullptr))
		return failure(Phase::Receive, GetLastError());

	DWORD status = 0;
	DWORD statusSize = sizeof status;
	if (!WinHttpQueryHeaders(req.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
				 WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX))
		return failure(Phase::Status, GetLastError());

	HttpResult result;
	result.status = int(status);
	if (request.bodyMode == BodyMode::Ignore)
		return result;

	int64_t total = 0;
	std::vector<char> chunk;
	for (;;) {
		DWORD available = 0;
		if (!WinHttpQueryDataAvailable(req.get(), &available))
			return failure(Phase::Read, GetLastError(), result.status);
		if (available == 0)
			break;
		if (total + int64_t(available) > request.maxBodyBytes) {
			// Truncate keeps the whole chunks that fit; Strict refuses the body.
			if (request.bodyMode == BodyMode::Strict)
				return failure(Phase::TooLarge, 0, result.status);
			break;
		}
		chunk.resize(available);
		DWORD got = 0;
		if (!WinHttpReadData(req.get(), chunk.data(), available, &got))
			return failure(Phase::Read, GetLastError(), result.status);
		if (got == 0)
			break;
		if (request.responseBody)
			request.responseBody->append(chunk.data(), got);
		if (request.bodySink && !request.bodySink(chunk.data(), got))
			return failure(Phase::Write, 0, result.status);
		total += got;
	}
	return result;
}

} // namespace ostrelo::net
