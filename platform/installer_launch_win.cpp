// Windows: the installer is held with read-only sharing and started through the shell's
// "runas" verb, which asks for elevation.

#include "platform/installer_launch.h"

#include <windows.h>
#include <shellapi.h>

namespace ostrelo::platform {

namespace {

std::wstring widen(const std::string &utf8)
{
	if (utf8.empty())
		return std::wstring();
	const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), nullptr, 0);
	if (n <= 0)
		return std::wstring();
	std::wstring wide(size_t(n), L'\0');
	MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), wide.data(), n);
	return wide;
}

} // namespace

HeldFile::HeldFile(const std::string &utf8Path)
{
	const std::wstring path = widen(utf8Path);
	if (path.empty())
		return;
	// FILE_SHARE_READ alone: writers, renames, replacements and deletes fail while this
	// handle is open, and starting the program (which maps the file for reading) still works.
	HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
				    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
	if (handle != INVALID_HANDLE_VALUE)
		handle_ = handle;
}

HeldFile::~HeldFile()
{
	close();
}

bool HeldFile::isOpen() const
{
	return handle_ != nullptr;
}

int64_t HeldFile::read(char *buffer, int64_t size)
{
	if (!handle_ || size < 0)
		return -1;
	DWORD got = 0;
	const DWORD want = DWORD(size < (int64_t(1) << 30) ? size : (int64_t(1) << 30));
	if (!ReadFile(static_cast<HANDLE>(handle_), buffer, want, &got, nullptr))
		return -1;
	return int64_t(got);
}

void HeldFile::close()
{
	if (handle_)
		CloseHandle(static_cast<HANDLE>(handle_));
	handle_ = nullptr;
}

bool launchInstallerElevated(const std::string &utf8Path)
{
	const std::wstring path = widen(utf8Path);
	if (path.empty())
		return false;
	SHELLEXECUTEINFOW info;
	ZeroMemory(&info, sizeof(info));
	info.cbSize = sizeof(info);
	info.fMask = SEE_MASK_NOCLOSEPROCESS;
	info.hwnd = nullptr;
	info.lpVerb = L"runas";
	info.lpFile = path.c_str();
	info.lpParameters = L"/S";
	info.lpDirectory = nullptr;
	info.nShow = SW_SHOW;
	if (!ShellExecuteExW(&info))
		return false;
	// The installer waits for OBS to close on its own; nothing here waits for it.
	if (info.hProcess)
		CloseHandle(info.hProcess);
	return true;
}

} // namespace ostrelo::platform
