#pragma once

// Helpers both transports share. Internal to platform/.

#include "platform/http_transport.h"

#include <string>
#include <string_view>
#include <vector>

namespace ostrelo::net::detail {

// Splits a "Name: value\r\nName: value" block into its lines, skipping empty ones. Returns
// false when a line holds a control character (a lone CR or LF, NUL, ...) or has no
// "Name:" part: such a block would smuggle extra lines into the request, so it is refused
// rather than sent.
bool splitHeaderBlock(std::string_view block, std::vector<std::string> &lines);

// The request's header lines: its block split as above, and its bearer token as an
// "Authorization" line in front. False when either holds a control character (in the token
// the tab too).
bool requestHeaderLines(const HttpRequest &request, std::vector<std::string> &lines);

// True when one of the lines sets the header `name` (compared case-insensitively).
bool namesHeader(const std::vector<std::string> &lines, std::string_view name);

// Escapes the bytes a request target cannot carry raw (controls, space, non-ASCII and
// " # < > \ ^ ` { | }) as %XX; everything else, "%" included, stays as it is.
std::string escapeRequestTarget(std::string_view target);

bool equalsIgnoreCase(std::string_view a, std::string_view b);

} // namespace ostrelo::net::detail
