// parseUpdateManifest on any body, and the rules the updater applies to what it returns:
// versions, checksum, installer URL and the installer's file name.

#include "update/update_rules.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace ostrelo;

namespace {

void check(bool condition)
{
	if (!condition)
		std::abort();
}

bool isPlainNameCharacter(char c)
{
	return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
	       c == '_';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	UpdateManifest manifest;
	const bool valid = parseUpdateManifest(reinterpret_cast<const char *>(data), size, manifest);
	check(valid == manifest.valid);
	if (!valid) {
		check(manifest.version.empty() && manifest.installerUrl.empty() && manifest.sha256.empty() &&
		      manifest.notes.empty());
		return 0;
	}
	check(size > 0 && size <= size_t(kManifestMaxBytes) && !manifest.version.empty());

	const std::vector<int> parts = versionParts(manifest.version);
	check(!parts.empty() && parts.size() <= manifest.version.size() + 1);
	for (const int p : parts)
		check(p >= 0);
	(void)isNewerVersion(manifest.version);
	check(!isNewerVersionThan(manifest.version, manifest.version));

	if (isSha256Hex(manifest.sha256))
		check(manifest.sha256.size() == 64);
	if (isAllowedInstallerUrl(manifest.installerUrl)) {
		const std::string &url = manifest.installerUrl;
		check(url.compare(0, 8, "https://") == 0);
		check(url.find("..") == std::string::npos && url.find('@') == std::string::npos &&
		      url.find('\\') == std::string::npos);
	}

	const std::string name = installerFileName(manifest.version);
	const std::string prefix = "Ostrelo-for-OBS-Setup-";
	check(name.compare(0, prefix.size(), prefix) == 0);
	check(name.size() >= prefix.size() + 4 && name.compare(name.size() - 4, 4, ".exe") == 0);
	check(name.size() <= prefix.size() + kInstallerNameVersionMax + 4);
	for (const char c : name)
		check(isPlainNameCharacter(c));
	return 0;
}
