// ostrelo-replay's expectation files: any text, then the check fed with observations made
// from the same bytes. Findings must point at real lines and keep their time order.

#include "tools/replay/expectations.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

using namespace ostrelo::replay;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	const std::string_view text(reinterpret_cast<const char *>(data), size);
	const ExpectFile file = parseExpectations(text);
	if (!file.error.empty() && !file.entries.empty())
		__builtin_trap();
	ExpectationCheck check(
		file.entries, [](int64_t n) { return uint64_t(n) * 33'333'333ULL; }, 1'500'000'000ULL);
	static const char *keys[] = {"kills", "players_left", "plates", "placement", "game_no"};
	uint64_t at = 0;
	for (size_t i = 0; i < size && i < 256; ++i) {
		at += uint64_t(data[i]) * 50'000'000ULL;
		std::map<std::string, double> values;
		if (data[i] & 1)
			values[keys[data[i] % 5]] = data[i] / 2.0;
		check.observe(at, values);
	}
	check.finish(at + 1);
	int lines = 1;
	for (char c : text)
		lines += c == '\n';
	for (const auto &f : check.findings())
		if (f.line < 1 || f.line > lines)
			__builtin_trap();
	return 0;
}
