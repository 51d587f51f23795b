// scanJsonInt on arbitrary bodies and keys. The first byte picks the key: one of the three
// the client looks for, or (high bit set) up to 15 bytes taken from the input itself.

#include "live/json_scan.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// Whatever the scanner returns must be a number the body really spells after the key.
void check(std::string_view body, std::string_view key)
{
	const int value = ostrelo::scanJsonInt(body, key);
	if (value == -1)
		return;
	const std::string quoted = "\"" + std::string(key) + "\"";
	const size_t at = body.find(quoted);
	if (at == std::string_view::npos)
		std::abort();
	const long long magnitude = value < 0 ? -static_cast<long long>(value) : value;
	if (body.find(std::to_string(magnitude), at + quoted.size()) == std::string_view::npos)
		std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size == 0)
		return 0;
	const std::string_view input(reinterpret_cast<const char *>(data) + 1, size - 1);
	const uint8_t pick = data[0];
	if (pick & 0x80) {
		const size_t keyLength = std::min<size_t>(pick & 0x0f, input.size());
		check(input.substr(keyLength), input.substr(0, keyLength));
	} else {
		static constexpr std::string_view kKeys[] = {"game_no", "rev", "live_seq"};
		check(input, kKeys[pick % 3]);
	}
	return 0;
}
