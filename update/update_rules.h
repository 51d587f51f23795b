#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The updater's rules on bytes and strings: the manifest scanner, version comparison, the
// checksum and installer URL tests, the check interval and the installer's file name. Plain
// C++ so they can be fuzzed without Qt.
namespace ostrelo {

// What the vendor host's manifest offers. Passed by value between threads.
struct UpdateManifest {
	std::string version;
	std::string installerUrl;
	std::string sha256;
	std::string notes;
	bool valid = false;
};

inline constexpr const char *kManifestPath = "/downloads/obs-plugin/latest.json";
inline constexpr int64_t kManifestMaxBytes = 0x10000;         // 65536
inline constexpr int64_t kInstallerMaxBytes = 0x5000000;      // 83886080, 80 MiB
inline constexpr int64_t kUpdateCheckIntervalSeconds = 86399; // a check needs more than this
inline constexpr int kFirstUpdateCheckDelayMs = 8000;

// The string value of the first "key" in body: no escape decoding, a backslash copies the
// character after it. False when the key is missing or its value is not a string.
bool scanJsonString(std::string_view body, std::string_view key, std::string &value);

// Fills manifest from a body of 1 to 65536 bytes; false (manifest cleared) when the body is
// out of range or has no non-empty "version" string.
bool parseUpdateManifest(const char *body, size_t length, UpdateManifest &manifest);

// "4.10.0-beta" -> {4, 10, 0}. A component without digits counts 0, a character other than a
// digit or "." ends the walk, and a number too large for an int is held at INT_MAX.
std::vector<int> versionParts(std::string_view text);

// True when text names a later version than this module's.
bool isNewerVersion(std::string_view text);
// The same against any current version (the module's own in the product).
bool isNewerVersionThan(std::string_view text, std::string_view current);

// Exactly 64 hexadecimal digits of either case.
bool isSha256Hex(std::string_view text);

// An HTTPS URL of a Windows executable on the vendor host (or its "www." name), without a
// port, user name, backslash or "..".
bool isAllowedInstallerUrl(std::string_view text);

// Whether a check is due, given the stored time of the last completed one and the current
// time (seconds since the epoch). A clock set back before the stored time waits until it
// has passed the stored time plus a day.
bool isUpdateCheckDue(int64_t lastCheck, int64_t now);

// "Ostrelo-for-OBS-Setup-<version>.exe" for the temp folder. The version comes from the
// network: every character but ASCII letters, digits, ".", "-" and "_" becomes "_", and it is
// cut to kInstallerNameVersionMax characters, so the name never leaves the folder it is
// joined to, never names a stream or a device, and stays short enough for any file system.
inline constexpr size_t kInstallerNameVersionMax = 64;
std::string installerFileName(std::string_view version);

} // namespace ostrelo
