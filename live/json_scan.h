#pragma once

#include <string_view>

namespace ostrelo {

// The integer value of `key` in a response body, found without parsing the body: the first
// "key" in double quotes anywhere (nested objects count, so does a string that happens to
// spell it), then the first ":" after it, blanks, an optional "-" and a run of decimal
// digits. Returns -1 when any of that is missing, and also when the digit run does not fit
// in 32 bits: a number the service could not have meant is no number of the protocol.
int scanJsonInt(std::string_view body, std::string_view key);

} // namespace ostrelo
