// Runs the transport tests' exchanges with the WinHTTP transport: reads a batch of orders
// from the file named first, writes the outcomes to the file named second. The test program
// on Linux starts it under Wine, next to the loopback servers it asks about.

#include "exchange.h"

#include <cstdio>
#include <string>

namespace {

bool readFile(const char *path, std::string &text)
{
	FILE *f = std::fopen(path, "rb");
	if (!f)
		return false;
	char buffer[65536];
	size_t n;
	while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
		text.append(buffer, n);
	const bool ok = !std::ferror(f);
	std::fclose(f);
	return ok;
}

bool writeFile(const char *path, const std::string &text)
{
	FILE *f = std::fopen(path, "wb");
	if (!f)
		return false;
	const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
	return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char **argv)
{
	if (argc != 3) {
		std::fprintf(stderr, "usage: winhttp_exchange <orders file> <outcomes file>\n");
		return 2;
	}
	std::string orders;
	ostrelo::test::ExchangeBatch batch;
	if (!readFile(argv[1], orders) || !ostrelo::test::decodeBatch(orders, batch)) {
		std::fprintf(stderr, "winhttp_exchange: cannot read the orders in %s\n", argv[1]);
		return 2;
	}
	if (!writeFile(argv[2], ostrelo::test::encodeOutcomes(ostrelo::test::runBatch(batch)))) {
		std::fprintf(stderr, "winhttp_exchange: cannot write %s\n", argv[2]);
		return 2;
	}
	return 0;
}
