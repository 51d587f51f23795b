#pragma once

#include <string>
#include <string_view>

namespace ostrelo {

// The user may paste a bare overlay token or a whole Browser Source URL that carries it as
// "token=...". Returns the token.
std::string normalizeToken(std::string_view text);

// A line break (or any other control character, C0, DEL or C1 in UTF-8) inside the token.
// Such a token is refused: it would go into a request header.
bool tokenHoldsControlCharacter(std::string_view token);

} // namespace ostrelo
