#include "platform/http_transport_common.h"
#include "platform/http_transport.h"

namespace ostrelo::net {

const char *phaseName(Phase phase)
{
	switch (phase) {
	case Phase::None:
		return "";
	case Phase::Open:
		return "open";
	case Phase::Connect:
		return "connect";
	case Phase::Request:
		return "request";
	case Phase::Headers:
		return "headers";
	case Phase::Send:
		return "send";
	case Phase::Receive:
		return "receive";
	case Phase::Status:
		return "status";
	case Phase::Read:
		return "read";
	case Phase::TooLarge:
		return "too large";
	case Phase::Write:
		return "write";
	}
	return "";
}

namespace detail {

namespace {

char lower(char c)
{
	return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool isControl(unsigned char c)
{
	return (c < 0x20 && c != '\t') || c == 0x7f;
}

} // namespace

bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
	if (a.size() != b.size())
		return false;
	for (size_t i = 0; i < a.size(); ++i) {
		if (lower(a[i]) != lower(b[i]))
			return false;
	}
	return true;
}

bool splitHeaderBlock(std::string_view block, std::vector<std::string> &lines)
{
	lines.clear();
	size_t start = 0;
	while (start < block.size()) {
		size_t end = block.find("\r\n", start);
		if (end == std::string_view::npos)
			end = block.size();
		const std::string_view line = block.substr(start, end - start);
		start = end + 2;
		if (line.empty())
			continue;
		for (const char c : line) {
			if (isControl(static_cast<unsigned char>(c)))
				return false;
		}
		const size_t colon = line.find(':');
		if (colon == 0 || colon == std::string_view::npos)
			return false;
		lines.emplace_back(line);
	}
	return true;
}

bool requestHeaderLines(const HttpRequest &request, std::vector<std::string> &lines)
{
	if (!splitHeaderBlock(request.headers, lines))
		return false;
	if (request.bearerToken.empty())
		return true;
	for (const char c : request.bearerToken) {
		if (c == '\t' || isControl(static_cast<unsigned char>(c)))
			return false;
	}
	lines.insert(lines.begin(), "Authorization: Bearer " + request.bearerToken);
	return true;
}

bool namesHeader(const std::vector<std::string> &lines, std::string_view name)
{
	for (const std::string &line : lines) {
		const std::string_view view(line);
		const size_t colon = view.find(':');
		std::string_view key = view.substr(0, colon);
		while (!key.empty() && (key.back() == ' ' || key.back() == '\t'))
			key.remove_suffix(1);
		if (equalsIgnoreCase(key, name))
			return true;
	}
	return false;
}

std::string escapeRequestTarget(std::string_view target)
{
	static constexpr char kHex[] = "0123456789ABCDEF";
	static constexpr std::string_view kUnsafe = "\"#<>\\^`{|}";
	std::string out;
	out.reserve(target.size());
	for (const char ch : target) {
		const auto c = static_cast<unsigned char>(ch);
		if (c <= 0x20 || c >= 0x7f || kUnsafe.find(ch) != std::string_view::npos) {
			out += '%';
			out += kHex[c >> 4];
			out += kHex[c & 0xf];
		} else {
			out += ch;
		}
	}
	return out;
}

} // namespace detail
} // namespace ostrelo::net
