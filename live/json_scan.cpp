#include "live/json_scan.h"

#include <cstdint>
#include <limits>
#include <string>

namespace ostrelo {

namespace {

bool isBlank(char c)
{
	return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigit(char c)
{
	return c >= '0' && c <= '9';
}

} // namespace

int scanJsonInt(std::string_view body, std::string_view key)
{
	std::string quoted;
	quoted.reserve(key.size() + 2);
	quoted += '"';
	quoted += key;
	quoted += '"';

	size_t at = body.find(quoted);
	if (at == std::string_view::npos)
		return -1;
	at = body.find(':', at + quoted.size());
	if (at == std::string_view::npos)
		return -1;
	++at;
	while (at < body.size() && isBlank(body[at]))
		++at;
	bool negative = false;
	if (at < body.size() && body[at] == '-') {
		negative = true;
		++at;
	}
	if (at >= body.size() || !isDigit(body[at]))
		return -1;

	// Accumulate in 64 bits and give up as soon as the run leaves the 32-bit range, so no
	// length of digits can overflow.
	const int64_t limit =
		negative ? -int64_t(std::numeric_limits<int32_t>::min()) : int64_t(std::numeric_limits<int32_t>::max());
	int64_t value = 0;
	for (; at < body.size() && isDigit(body[at]); ++at) {
		value = value * 10 + (body[at] - '0');
		if (value > limit)
			return -1;
	}
	return int(negative ? -value : value);
}

} // namespace ostrelo
