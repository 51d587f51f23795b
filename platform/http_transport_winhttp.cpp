// WinHTTP transport (Windows). Synchronous: the caller runs it on a pool thread.

#include "platform/http_transport.h"
#include "platform/http_transport_common.h"

#include <windows.h>
#include <winhttp.h>
#include <wincrypt.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
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
	// Forgets a handle that was closed elsewhere.
	void release() { h_ = nullptr; }

private:
	HINTERNET h_;
};

struct CertificateRelease {
	void operator()(PCCERT_CONTEXT cert) const { CertFreeCertificateContext(cert); }
};
using Certificate = std::unique_ptr<const CERT_CONTEXT, CertificateRelease>;

HttpResult failure(Phase phase, DWORD code, int status = 0)
{
	HttpResult r;
	r.status = status;
	r.failedAt = phase;
	r.code = code;
	return r;
}

PCCERT_CONTEXT certificateFromPemFile(const std::string &path)
{
	std::ifstream in(path, std::ios::binary);
	const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
	DWORD size = 0;
	if (pem.empty() || !CryptStringToBinaryA(pem.c_str(), DWORD(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr,
						 &size, nullptr, nullptr))
		return nullptr;
	std::vector<BYTE> der(size);
	if (!CryptStringToBinaryA(pem.c_str(), DWORD(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr,
				  nullptr))
		return nullptr;
	return CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), size);
}

// True when `server` chains to a root the system trusts, or to `extraRoot` (may be null), and
// passes the TLS server rules for `host`. The chain's own trust flags must be clean (an
// untrusted root allowed only when it is `extraRoot`): the policy check alone lets a chain
// that ends short of any root pass on some systems.
bool serverTrusted(PCCERT_CONTEXT server, PCCERT_CONTEXT extraRoot, const std::wstring &host)
{
	HCERTSTORE extra = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
	HCERTSTORE roots = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
	if (!extra || !roots) {
		if (extra)
			CertCloseStore(extra, 0);
		if (roots)
			CertCloseStore(roots, 0);
		return false;
	}
	CertAddStoreToCollection(extra, server->hCertStore, 0, 0);
	if (extraRoot && CertAddCertificateContextToStore(roots, extraRoot, CERT_STORE_ADD_ALWAYS, nullptr))
		CertAddStoreToCollection(extra, roots, 0, 0);

	CERT_CHAIN_PARA para = {};
	para.cbSize = sizeof para;
	PCCERT_CHAIN_CONTEXT chain = nullptr;
	bool trusted = CertGetCertificateChain(nullptr, server, nullptr, extra, &para,
					       CERT_CHAIN_DISABLE_AUTH_ROOT_AUTO_UPDATE, nullptr, &chain) &&
		       chain->cChain == 1 && chain->rgpChain[0]->cElement > 0;
	bool byExtraRoot = false;
	if (trusted) {
		const DWORD errors = chain->TrustStatus.dwErrorStatus;
		const CERT_SIMPLE_CHAIN *simple = chain->rgpChain[0];
		PCCERT_CONTEXT root = simple->rgpElement[simple->cElement - 1]->pCertContext;
		byExtraRoot = errors == CERT_TRUST_IS_UNTRUSTED_ROOT && extraRoot &&
			      CertCompareCertificate(X509_ASN_ENCODING, root->pCertInfo, extraRoot->pCertInfo);
		trusted = errors == CERT_TRUST_NO_ERROR || byExtraRoot;
	}
	if (trusted) {
		SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl = {};
		ssl.cbSize = sizeof ssl;
		ssl.dwAuthType = AUTHTYPE_SERVER;
		ssl.pwszServerName = const_cast<wchar_t *>(host.c_str());
		CERT_CHAIN_POLICY_PARA policy = {};
		policy.cbSize = sizeof policy;
		policy.dwFlags = byExtraRoot ? CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG : 0;
		policy.pvExtraPolicyPara = &ssl;
		CERT_CHAIN_POLICY_STATUS status = {};
		status.cbSize = sizeof status;
		trusted = CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status) &&
			  status.dwError == 0;
	}
	if (chain)
		CertFreeCertificateChain(chain);
	CertCloseStore(roots, 0);
	CertCloseStore(extra, 0);
	return trusted;
}

// Checks the server of a request whose caller named an extra root. WinHTTP was told to let an
// unknown root through its own check (names and dates it still checks); this decides, once
// the TLS connection stands and before the request goes out on it (WinHTTP's
// SENDING_REQUEST notice, also for every redirect). An untrusted server has the request
// handle closed under it, which cancels the send.
struct RootCheck {
	HINTERNET request = nullptr;
	PCCERT_CONTEXT extraRoot = nullptr;
	std::wstring host;
	bool checked = false;
	bool refused = false;

	static void CALLBACK onStatus(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID, DWORD)
	{
		auto *check = reinterpret_cast<RootCheck *>(context);
		if (status != WINHTTP_CALLBACK_STATUS_SENDING_REQUEST || !check || check->refused)
			return;
		PCCERT_CONTEXT server = nullptr;
		DWORD size = sizeof server;
		const bool trusted = WinHttpQueryOption(handle, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &server, &size) &&
				     server && serverTrusted(server, check->extraRoot, check->host);
		if (server)
			CertFreeCertificateContext(server);
		check->checked = true;
		if (!trusted) {
			check->refused = true;
			WinHttpCloseHandle(check->request);
		}
	}
};

} // namespace

const char *transportName()
{
	return "WinHTTP";
}

HttpResult httpRequest(const HttpRequest &request)
{
	std::vector<std::string> lines;
	if (!detail::requestHeaderLines(request, lines))
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

	// The target goes out escaped by the same rule as elsewhere, so WinHTTP gets plain ASCII
	// and nothing is left to its own escaping.
	const std::wstring method = widen(request.method);
	const std::wstring path = widen(
		request.pathAndQuery.empty() ? std::string("/") : detail::escapeRequestTarget(request.pathAndQuery));
	Handle req(WinHttpOpenRequest(connection.get(), method.c_str(), path.c_str(), nullptr, WINHTTP_NO_REFERER,
				      WINHTTP_DEFAULT_ACCEPT_TYPES, request.secure ? WINHTTP_FLAG_SECURE : 0));
	if (!req)
		return failure(Phase::Request, GetLastError());

	// The wait for the response headers has a bound of its own; without it only the
	// receive time-out above applies there, and not on every WinHTTP.
	DWORD responseMs = DWORD(request.timeouts.receiveMs);
	WinHttpSetOption(req.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseMs, sizeof responseMs);
	if (!request.followRedirects) {
		DWORD off = WINHTTP_DISABLE_REDIRECTS;
		WinHttpSetOption(req.get(), WINHTTP_OPTION_DISABLE_FEATURE, &off, sizeof off);
	}

	RootCheck rootCheck;
	Certificate extraRoot;
	if (request.secure && !request.extraCaFile.empty()) {
		extraRoot.reset(certificateFromPemFile(request.extraCaFile));
		rootCheck.request = req.get();
		rootCheck.extraRoot = extraRoot.get();
		rootCheck.host = host;
		DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
		if (!WinHttpSetOption(req.get(), WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags) ||
		    WinHttpSetStatusCallback(req.get(), &RootCheck::onStatus, WINHTTP_CALLBACK_FLAG_SEND_REQUEST, 0) ==
			    WINHTTP_INVALID_STATUS_CALLBACK)
			return failure(Phase::Request, GetLastError());
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
	const bool sent = WinHttpSendRequest(req.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, bodyData, bodySize, bodySize,
					     reinterpret_cast<DWORD_PTR>(rootCheck.request ? &rootCheck : nullptr));
	const DWORD sendError = sent ? 0 : GetLastError();
	if (rootCheck.refused)
		req.release(); // closed by the check
	if (rootCheck.request && (rootCheck.refused || (sent && !rootCheck.checked)))
		return failure(Phase::Send, ERROR_WINHTTP_SECURE_FAILURE);
	if (!sent)
		return failure(Phase::Send, sendError);

	// A followed redirect may lead to another server, checked the same way.
	const bool received = WinHttpReceiveResponse(req.get(), nullptr);
	const DWORD receiveError = received ? 0 : GetLastError();
	if (rootCheck.refused) {
		req.release();
		return failure(Phase::Receive, ERROR_WINHTTP_SECURE_FAILURE);
	}
	if (!received)
		return failure(Phase::Receive, receiveError);

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
