// Stands in for the installer: writes its command line arguments into the marker file named
// by the environment variable OSTRELO_MARKER (inherited from the checking program).

#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
	wchar_t marker[MAX_PATH + 1] = {};
	if (GetEnvironmentVariableW(L"OSTRELO_MARKER", marker, MAX_PATH + 1) == 0)
		return 1;
	std::string args;
	for (int i = 1; i < argc; ++i)
		args += (i > 1 ? " " : "") + std::string(argv[i]);
	if (FILE *f = _wfopen(marker, L"wb")) {
		std::fwrite(args.data(), 1, args.size(), f);
		std::fclose(f);
	}
	return 0;
}
