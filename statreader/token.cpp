#include "statreader/token.h"

namespace ostrelo {

std::string normalizeToken(std::string_view text)
{
	size_t begin = 0;
	while (begin < text.size() && (text[begin] == ' ' || text[begin] == '\t'))
		++begin;
	size_t end = text.size();
	// A carriage return is kept on purpose: only what a text field appends is trimmed.
	while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\n'))
		--end;
	const std::string_view trimmed = text.substr(begin, end - begin);

	static constexpr std::string_view kMarker = "token=";
	if (trimmed.size() >= 6) {
		const size_t at = trimmed.find(kMarker);
		if (at != std::string_view::npos) {
			std::string_view value = trimmed.substr(at + kMarker.size());
			const size_t amp = value.find('&');
			if (amp != std::string_view::npos)
				value = value.substr(0, amp);
			return std::string(value);
		}
	}
	return std::string(trimmed);
}

bool tokenHoldsControlCharacter(std::string_view token)
{
	for (size_t i = 0; i < token.size(); ++i) {
		const auto c = static_cast<unsigned char>(token[i]);
		if (c < 0x20 || c == 0x7f)
			return true;
		if (c == 0xc2 && i + 1 < token.size() && static_cast<unsigned char>(token[i + 1]) <= 0x9f &&
		    static_cast<unsigned char>(token[i + 1]) >= 0x80)
			return true;
	}
	return false;
}

} // namespace ostrelo
