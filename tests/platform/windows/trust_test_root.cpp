// Puts a test root (one PEM certificate) into the machine's trusted roots, the store WinHTTP
// verifies servers against. Run only inside the throw-away Wine prefix of the Windows checks:
// nothing on the host, and nothing a product build does, trusts it.

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
	if (argc != 2) {
		std::fprintf(stderr, "usage: trust_test_root <root.pem>\n");
		return 2;
	}
	std::string pem;
	if (FILE *f = std::fopen(argv[1], "rb")) {
		char buffer[4096];
		size_t n;
		while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
			pem.append(buffer, n);
		std::fclose(f);
	}
	DWORD size = 0;
	if (pem.empty() || !CryptStringToBinaryA(pem.c_str(), DWORD(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr,
						 &size, nullptr, nullptr)) {
		std::fprintf(stderr, "trust_test_root: no PEM certificate in %s\n", argv[1]);
		return 1;
	}
	std::vector<BYTE> der(size);
	CryptStringToBinaryA(pem.c_str(), DWORD(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr,
			     nullptr);
	HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
	const bool added = root && CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der.data(), size,
								    CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
	const DWORD error = added ? 0 : GetLastError();
	if (root)
		CertCloseStore(root, 0);
	if (!added) {
		std::fprintf(stderr, "trust_test_root: cannot add the root (%lu)\n", error);
		return 1;
	}
	return 0;
}
