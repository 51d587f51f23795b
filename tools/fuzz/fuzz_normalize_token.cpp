// The overlay token as the user pastes it: any bytes, a bare token or a URL carrying one.
// What comes back is always a piece of what went in, without the blanks a text field adds.

#include "statreader/token.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	const std::string_view in(reinterpret_cast<const char *>(data), size);
	const std::string out = ostrelo::normalizeToken(in);
	if (out.size() > in.size() || in.find(out) == std::string_view::npos)
		__builtin_trap();
	// Without a "token=" marker nothing but the surrounding blanks is removed.
	if (in.find("token=") == std::string_view::npos && !out.empty() &&
	    (out.front() == ' ' || out.front() == '\t' || out.back() == ' ' || out.back() == '\t' ||
	     out.back() == '\n'))
		__builtin_trap();
	return 0;
}
