// scanJsonString on any key and body, plus a round trip: any value written as the first
// member, with its quotes and backslashes escaped, is read back unchanged.

#include "update/update_rules.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace ostrelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size == 0)
		return 0;
	const char *text = reinterpret_cast<const char *>(data);
	const size_t keyLength = std::min<size_t>(data[0] % 16, size - 1);
	const std::string_view key(text + 1, keyLength);
	const std::string_view body(text + 1 + keyLength, size - 1 - keyLength);

	std::string value = "stale";
	const bool found = scanJsonString(body, key, value);
	// The value is a copy of part of the body, after "key": and a quote.
	if (found && value.size() + key.size() + 4 > body.size())
		std::abort();
	if (!found && !value.empty())
		std::abort();

	if (key.find('"') == std::string_view::npos) {
		std::string member = "\"" + std::string(key) + "\":\"";
		for (const char c : body) {
			if (c == '"' || c == '\\')
				member.push_back('\\');
			member.push_back(c);
		}
		member += "\"}";
		std::string back;
		if (!scanJsonString(member, key, back) || back != body)
			std::abort();
	}
	return 0;
}
