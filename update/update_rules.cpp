#include "update/update_rules.h"

#include "common/build_config.h"

#include <algorithm>
#include <climits>

namespace ostrelo {

namespace {

bool isJsonSpace(char c)
{
	return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isHexDigit(char c)
{
	return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool startsWith(std::string_view text, std::string_view prefix)
{
	return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(std::string_view text, std::string_view suffix)
{
	return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool isFileNameSafe(char c)
{
	return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
	       c == '_';
}

} // namespace

bool scanJsonString(std::string_view body, std::string_view key, std::string &value)
{
	value.clear();
	std::string quoted;
	quoted.reserve(key.size() + 2);
	quoted.append(1, '"').append(key).append(1, '"');
	const size_t at = body.find(quoted);
	if (at == std::string_view::npos)
		return false;
	size_t i = body.find(':', at + quoted.size());
	if (i == std::string_view::npos)
		return false;
	++i;
	while (i < body.size() && isJsonSpace(body[i]))
		++i;
	if (i >= body.size() || body[i] != '"')
		return false;
	++i;
	std::string out;
	while (i < body.size()) {
		const char c = body[i];
		if (c == '"') {
			value = std::move(out);
			return true;
		}
		if (c == '\\') {
			if (i + 1 >= body.size())
				return false;
			out.push_back(body[i + 1]);
			i += 2;
			continue;
		}
		out.push_back(c);
		++i;
	}
	return false;
}

bool parseUpdateManifest(const char *body, size_t length, UpdateManifest &manifest)
{
	manifest = UpdateManifest();
	if (!body || length == 0 || length > size_t(kManifestMaxBytes))
		return false;
	const std::string_view text(body, length);
	if (!scanJsonString(text, "version", manifest.version) || manifest.version.empty()) {
		manifest = UpdateManifest();
		return false;
	}
	scanJsonString(text, "installer_url", manifest.installerUrl);
	scanJsonString(text, "sha256", manifest.sha256);
	scanJsonString(text, "notes", manifest.notes);
	manifest.valid = true;
	return true;
}

std::vector<int> versionParts(std::string_view text)
{
	std::vector<int> parts;
	int current = 0;
	for (const char c : text) {
		if (c >= '0' && c <= '9') {
			const int digit = c - '0';
			// A run of digits longer than an int holds stays at the largest int, so a huge
			// component still compares as huge instead of wrapping.
			current = current > (INT_MAX - digit) / 10 ? INT_MAX : current * 10 + digit;
		} else if (c == '.') {
			parts.push_back(current);
			current = 0;
		} else {
			break;
		}
	}
	parts.push_back(current);
	return parts;
}

bool isNewerVersionThan(std::string_view text, std::string_view current)
{
	const std::vector<int> offered = versionParts(text);
	const std::vector<int> own = versionParts(current);
	const size_t n = std::max(offered.size(), own.size());
	for (size_t i = 0; i < n; ++i) {
		const int a = i < offered.size() ? offered[i] : 0;
		const int b = i < own.size() ? own[i] : 0;
		if (a != b)
			return a > b;
	}
	return false;
}

bool isNewerVersion(std::string_view text)
{
	return isNewerVersionThan(text, kVersion);
}

bool isSha256Hex(std::string_view text)
{
	return text.size() == 64 && std::all_of(text.begin(), text.end(), isHexDigit);
}

bool isAllowedInstallerUrl(std::string_view text)
{
	if (text.empty())
		return false;
	const std::string host(kVendorHost);
	if (!startsWith(text, "https://" + host + "/") && !startsWith(text, "https://www." + host + "/"))
		return false;
	if (text.find('@') != std::string_view::npos || text.find('\\') != std::string_view::npos ||
	    text.find("..") != std::string_view::npos)
		return false;
	if (text.find('/', 8) == std::string_view::npos)
		return false;
	return text.size() >= 5 && (endsWith(text, ".exe") || endsWith(text, ".EXE"));
}

bool isUpdateCheckDue(int64_t lastCheck, int64_t now)
{
	if (lastCheck <= 0)
		return true;
	// now > lastCheck > 0 keeps the difference in range.
	return now > lastCheck && now - lastCheck > kUpdateCheckIntervalSeconds;
}

std::string installerFileName(std::string_view version)
{
	std::string name = "Ostrelo-for-OBS-Setup-";
	const std::string_view kept = version.substr(0, kInstallerNameVersionMax);
	for (const char c : kept)
		name.push_back(isFileNameSafe(c) ? c : '_');
	name += ".exe";
	return name;
}

} // namespace ostrelo
