#pragma once

#include <string>
#include <string_view>

namespace ostrelo {

// The user may paste a bare overlay token or a whole Browser Source URL that carries it as
// "token=...". Returns the token.
std::string normalizeToken(std::string_view text);

} // namespace ostrelo
