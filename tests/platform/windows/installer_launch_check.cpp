// The Windows installer launch under Wine: a held installer cannot be written, replaced,
// renamed or deleted, can still be read and started, and is started with "/S".
// Built and run by check-under-wine.sh; prints one line per check and exits non-zero on a failure.

#include "platform/installer_launch.h"

#include <windows.h>

#include <cstdio>
#include <string>

using ostrelo::platform::HeldFile;
using ostrelo::platform::launchInstallerElevated;

namespace {

int g_failures = 0;

void expect(bool ok, const char *what)
{
	std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
	if (!ok)
		++g_failures;
}

std::string readFile(const std::string &path)
{
	std::string text;
	if (FILE *f = std::fopen(path.c_str(), "rb")) {
		char buffer[256];
		size_t n;
		while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0)
			text.append(buffer, n);
		std::fclose(f);
	}
	return text;
}

} // namespace

int main(int argc, char **argv)
{
	if (argc != 3) {
		std::printf("usage: installer_launch_check <payload.exe> <marker file>\n");
		return 2;
	}
	const std::string payload = argv[1];
	const std::string marker = argv[2];
	const std::wstring wide(payload.begin(), payload.end());
	const std::wstring moved = wide + L".moved";
	DeleteFileA(marker.c_str());

	{
		HeldFile held(payload);
		expect(held.isOpen(), "the installer is held");
		char head[2] = {};
		expect(held.read(head, 2) == 2 && head[0] == 'M' && head[1] == 'Z', "it reads from the held handle");

		HANDLE writer =
			CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
				    nullptr, OPEN_EXISTING, 0, nullptr);
		expect(writer == INVALID_HANDLE_VALUE, "nobody can open it for writing");
		if (writer != INVALID_HANDLE_VALUE)
			CloseHandle(writer);
		expect(!DeleteFileW(wide.c_str()), "nobody can delete it");
		expect(!MoveFileW(wide.c_str(), moved.c_str()), "nobody can rename it");
		const std::wstring other = wide + L".other";
		CopyFileW(wide.c_str(), other.c_str(), FALSE);
		expect(!MoveFileExW(other.c_str(), wide.c_str(), MOVEFILE_REPLACE_EXISTING), "nobody can replace it");
		DeleteFileW(other.c_str());

		expect(launchInstallerElevated(payload), "it starts while held");
		for (int i = 0; i < 100 && readFile(marker).empty(); ++i)
			Sleep(50);
		expect(readFile(marker) == "/S", "it was started with /S");
	}
	Sleep(200); // let the payload exit
	expect(MoveFileW(wide.c_str(), moved.c_str()) && MoveFileW(moved.c_str(), wide.c_str()),
	       "once released it can be renamed again");
	expect(!launchInstallerElevated(payload + ".missing"), "a missing installer does not start");
	std::printf("%d failure(s)\n", g_failures);
	return g_failures == 0 ? 0 : 1;
}
