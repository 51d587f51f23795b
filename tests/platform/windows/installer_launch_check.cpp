// The Windows installer launch under Wine: a held installer cannot be written, replaced,
// renamed or deleted, can still be read and started, and is started with "/S". The installer
// sits where the updater puts it, in the temp folder, below a folder whose name takes UTF-8
// and a space, as a user's profile folder may.
// Prints one line per check and exits non-zero on a failure.

#include "check.h"
#include "platform/installer_launch.h"

#include <windows.h>

#include <cstdio>
#include <string>

using ostrelo::platform::HeldFile;
using ostrelo::platform::launchInstallerElevated;
using ostrelo::test::expect;

namespace {

std::wstring readFile(const std::wstring &path)
{
	std::string text;
	if (FILE *f = _wfopen(path.c_str(), L"rb")) {
		char buffer[256];
		size_t n;
		while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0)
			text.append(buffer, n);
		std::fclose(f);
	}
	return std::wstring(text.begin(), text.end());
}

std::string utf8(const std::wstring &wide)
{
	const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
	std::string out(size_t(n > 0 ? n : 0), '\0');
	WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), out.data(), n, nullptr, nullptr);
	return out;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
	if (argc != 2) {
		std::printf("usage: installer_launch_check <stand-in installer.exe>\n");
		return 2;
	}
	wchar_t temp[MAX_PATH + 1] = {};
	GetTempPathW(MAX_PATH + 1, temp);
	const std::wstring dir = std::wstring(temp) + L"Ostrelo pr\u00fcfung \u2713";
	CreateDirectoryW(dir.c_str(), nullptr);
	const std::wstring wide = dir + L"\\Ostrelo-for-OBS-Setup-4.4.2.exe";
	const std::wstring moved = wide + L".moved";
	const std::wstring marker = dir + L"\\marker.txt";
	const std::string installer = utf8(wide);
	DeleteFileW(marker.c_str());
	// The stand-in installer writes its command line where this names; it inherits it.
	SetEnvironmentVariableW(L"OSTRELO_MARKER", marker.c_str());
	expect(CopyFileW(argv[1], wide.c_str(), FALSE), "the installer is in the temp folder");

	{
		HeldFile held(installer);
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

		expect(launchInstallerElevated(installer), "it starts while held");
		for (int i = 0; i < 100 && readFile(marker).empty(); ++i)
			Sleep(50);
		expect(readFile(marker) == L"/S", "it was started with /S");
	}
	Sleep(200); // let the stand-in installer exit
	expect(MoveFileW(wide.c_str(), moved.c_str()) && MoveFileW(moved.c_str(), wide.c_str()),
	       "once released it can be renamed again");
	expect(!launchInstallerElevated(installer + ".missing"), "a missing installer does not start");
	expect(!HeldFile(installer + ".missing").isOpen(), "a missing installer is not held");
	DeleteFileW(wide.c_str());
	DeleteFileW(marker.c_str());
	RemoveDirectoryW(dir.c_str());
	return ostrelo::test::checkResult();
}
