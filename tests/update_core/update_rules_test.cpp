// The updater's rules on strings: manifest scanning, versions, checksums, installer URLs,
// the check interval and the installer's file name.

#include "common/build_config.h"
#include "update/update_rules.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

using namespace ostrelo;

namespace {

const std::string kHost = kVendorHost;

struct ScanCase {
	const char *name;
	std::string body;
	const char *key;
	bool found;
	std::string value;
};

TEST(UpdateRules, ScanJsonStringReadsTheFirstStringMember)
{
	const std::vector<ScanCase> cases = {
		{"plain", R"({"version":"4.4.2"})", "version", true, "4.4.2"},
		{"white space after the colon", "{\"version\" :\t\r\n \"4.4.2\"}", "version", true, "4.4.2"},
		{"empty string", R"({"version":""})", "version", true, ""},
		{"number", R"({"version":4.4})", "version", false, ""},
		{"null", R"({"version":null})", "version", false, ""},
		{"object", R"({"version":{"x":"1"}})", "version", false, ""},
		{"missing", R"({"notes":"x"})", "version", false, ""},
		{"key only as a prefix", R"({"versions":"1","version2":"2"})", "version", false, ""},
		{"escapes copied, not decoded", R"({"notes":"a\"b\\c\nd\u0041"})", "notes", true, "a\"b\\cndu0041"},
		{"unterminated", R"({"version":"4.4)", "version", false, ""},
		{"ends in a backslash", "{\"version\":\"4.4\\", "version", false, ""},
		{"no colon", R"({"version")", "version", false, ""},
		{"nothing after the colon", "{\"version\":  \n", "version", false, ""},
		{"first occurrence, even nested", R"({"a":{"version":"1"},"version":"2"})", "version", true, "1"},
		{"the next colon counts, wherever it is", R"({"version" , "x":"5"})", "version", true, "5"},
		{"bytes after a NUL", std::string("{\"notes\":\"a\0b\"}", 15), "notes", true, std::string("a\0b", 3)},
	};
	for (const ScanCase &c : cases) {
		std::string value = "stale";
		EXPECT_EQ(scanJsonString(c.body, c.key, value), c.found) << c.name;
		if (c.found) {
			EXPECT_EQ(value, c.value) << c.name;
		}
	}
}

TEST(UpdateRules, ParseUpdateManifest)
{
	const std::string full = R"({"notes":"Faster reading.","sha256":"ab","version":"4.4.2",
		"installer_url":"https://x/y.exe","extra":[1,2]})";
	UpdateManifest m;
	ASSERT_TRUE(parseUpdateManifest(full.data(), full.size(), m));
	EXPECT_TRUE(m.valid);
	EXPECT_EQ(m.version, "4.4.2");
	EXPECT_EQ(m.installerUrl, "https://x/y.exe");
	EXPECT_EQ(m.sha256, "ab");
	EXPECT_EQ(m.notes, "Faster reading.");

	const std::string versionOnly = R"({"version":"5"})";
	ASSERT_TRUE(parseUpdateManifest(versionOnly.data(), versionOnly.size(), m));
	EXPECT_EQ(m.version, "5");
	EXPECT_TRUE(m.installerUrl.empty() && m.sha256.empty() && m.notes.empty()) << "left from the last parse";

	struct Bad {
		const char *name;
		std::string body;
	};
	const std::vector<Bad> bad = {
		{"empty version", R"({"version":"","installer_url":"https://x/y.exe"})"},
		{"version is a number", R"({"version":4.4,"notes":"x"})"},
		{"no version", R"({"notes":"x"})"},
		{"not JSON at all", "<html>502 Bad Gateway</html>"},
	};
	for (const Bad &b : bad) {
		m = UpdateManifest{"1", "u", "s", "n", true};
		EXPECT_FALSE(parseUpdateManifest(b.body.data(), b.body.size(), m)) << b.name;
		EXPECT_FALSE(m.valid) << b.name;
		EXPECT_TRUE(m.version.empty() && m.installerUrl.empty() && m.notes.empty()) << b.name;
	}

	EXPECT_FALSE(parseUpdateManifest(nullptr, 10, m));
	EXPECT_FALSE(parseUpdateManifest(versionOnly.data(), 0, m));
	// The cap is on the whole body, not on where the version stands.
	std::string atCap = versionOnly;
	atCap.resize(size_t(kManifestMaxBytes), ' ');
	EXPECT_TRUE(parseUpdateManifest(atCap.data(), atCap.size(), m));
	atCap.push_back(' ');
	EXPECT_FALSE(parseUpdateManifest(atCap.data(), atCap.size(), m));
}

TEST(UpdateRules, VersionParts)
{
	struct Case {
		const char *text;
		std::vector<int> parts;
	};
	const std::vector<Case> cases = {
		{"4.4.1", {4, 4, 1}},
		{"", {0}},
		{"v4.5", {0}},
		{"4.10.0-beta", {4, 10, 0}},
		{"4..1", {4, 0, 1}},
		{".5", {0, 5}},
		{"4.", {4, 0}},
		{"007.1", {7, 1}},
		{"2147483647", {INT_MAX}},
		// Runs of digits past an int hold at INT_MAX instead of overflowing.
		{"2147483648", {INT_MAX}},
		{"99999999999999999999999.3", {INT_MAX, 3}},
		{"4.21474836470", {4, INT_MAX}},
	};
	for (const Case &c : cases)
		EXPECT_EQ(versionParts(c.text), c.parts) << '"' << c.text << '"';
}

TEST(UpdateRules, IsNewerVersionThanTheModule)
{
	ASSERT_STREQ(kVersion, "4.4.1");
	struct Case {
		const char *text;
		bool newer;
	};
	const std::vector<Case> cases = {
		{"4.4.2", true},
		{"4.10", true},
		{"5", true},
		{"4.4.1.1", true},
		{"4.5.0-beta", true},
		{"99999999999999999999", true},
		{"4.4.99999999999", true},
		{"4.4.1", false},
		{"4.4.1.0", false},
		{"4.4.0.9", false},
		{"4.4", false},
		{"3.99", false},
		{"v5", false},
		{"", false},
	};
	for (const Case &c : cases)
		EXPECT_EQ(isNewerVersion(c.text), c.newer) << '"' << c.text << '"';
	EXPECT_FALSE(isNewerVersionThan("99999999999", "2147483648")) << "both held at INT_MAX";
}

TEST(UpdateRules, IsSha256Hex)
{
	const std::string lower(64, 'a');
	struct Case {
		std::string text;
		bool ok;
	};
	const std::vector<Case> cases = {
		{"0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef", true},
		{"0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF", true},
		{"0123456789abcDEF0123456789ABCdef0123456789abcdef0123456789ABCDEF", true},
		{lower.substr(0, 63), false},
		{lower + "a", false},
		{lower.substr(0, 63) + "g", false},
		{lower.substr(0, 63) + " ", false},
		{"", false},
	};
	for (const Case &c : cases)
		EXPECT_EQ(isSha256Hex(c.text), c.ok) << '"' << c.text << '"';
}

TEST(UpdateRules, IsAllowedInstallerUrl)
{
	struct Case {
		std::string url;
		bool ok;
	};
	const std::vector<Case> cases = {
		{"https://" + kHost + "/downloads/obs-plugin/Ostrelo-Setup.exe", true},
		{"https://www." + kHost + "/x.EXE", true},
		{"https://" + kHost + "/x.exe?build=7", false}, // must end in the extension
		{"https://" + kHost + "/get?file=x.exe", true},
		{"", false},
		{"http://" + kHost + "/x.exe", false},
		{"HTTPS://" + kHost + "/x.exe", false},
		{"https://other.example/x.exe", false},
		{"https://" + kHost + ".evil.example/x.exe", false},
		{"https://wwww." + kHost + "/x.exe", false},
		{"https://www" + kHost + "/x.exe", false},
		{"https://" + kHost + ":443/x.exe", false},
		{"https://" + kHost, false},
		{"https://" + kHost + "/x@evil.example/y.exe", false},
		{"https://" + kHost + "/a/../x.exe", false},
		{"https://" + kHost + "/a\\x.exe", false},
		{"https://" + kHost + "/x.Exe", false},
		{"https://" + kHost + "/x.eXE", false},
		{"https://" + kHost + "/x.msi", false},
		{"https://" + kHost + "/", false},
	};
	for (const Case &c : cases)
		EXPECT_EQ(isAllowedInstallerUrl(c.url), c.ok) << c.url;
}

TEST(UpdateRules, CheckIsDueAfterMoreThanADay)
{
	const int64_t now = 1'700'000'000;
	struct Case {
		const char *name;
		int64_t last;
		int64_t now;
		bool due;
	};
	const std::vector<Case> cases = {
		{"never checked", 0, now, true},
		{"negative stored time", -5, now, true},
		{"86399 s ago", now - 86399, now, false},
		{"86400 s ago", now - 86400, now, true},
		{"a week ago", now - 7 * 86400, now, true},
		{"just now", now, now, false},
		{"clock set back", now + 100, now, false},
		{"clock set back by more than a day", now + 2 * 86400, now, false},
		{"far-future stored time", INT64_MAX, INT64_MIN, false},
		{"earliest positive stored time", 1, INT64_MAX, true},
	};
	for (const Case &c : cases)
		EXPECT_EQ(isUpdateCheckDue(c.last, c.now), c.due) << c.name;
}

TEST(UpdateRules, InstallerFileNameStaysAPlainName)
{
	struct Case {
		std::string version;
		std::string name;
	};
	const std::vector<Case> cases = {
		{"4.4.2", "Ostrelo-for-OBS-Setup-4.4.2.exe"},
		{"4.5.0-beta_2", "Ostrelo-for-OBS-Setup-4.5.0-beta_2.exe"},
		{"../../x", "Ostrelo-for-OBS-Setup-.._.._x.exe"},
		{"a/b", "Ostrelo-for-OBS-Setup-a_b.exe"},
		{"C:\\x", "Ostrelo-for-OBS-Setup-C__x.exe"},
		{"5:stream", "Ostrelo-for-OBS-Setup-5_stream.exe"},
		{"4\n\t\x01\x7f", "Ostrelo-for-OBS-Setup-4____.exe"},
		{std::string("5\0x", 3), "Ostrelo-for-OBS-Setup-5_x.exe"},
		{"4.5\xc3\xa9", "Ostrelo-for-OBS-Setup-4.5__.exe"},
		{"5 *?\"<>|", "Ostrelo-for-OBS-Setup-5_______.exe"},
		{std::string(100, '9'), "Ostrelo-for-OBS-Setup-" + std::string(kInstallerNameVersionMax, '9') + ".exe"},
	};
	for (const Case &c : cases)
		EXPECT_EQ(installerFileName(c.version), c.name) << c.version;
}

} // namespace
