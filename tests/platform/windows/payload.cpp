// Stands in for the installer: writes its command line arguments into the marker file named
// by the environment variable OSTRELO_MARKER (inherited from the checking program's Wine run).

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char **argv)
{
	const char *marker = std::getenv("OSTRELO_MARKER");
	if (!marker)
		return 1;
	std::string args;
	for (int i = 1; i < argc; ++i)
		args += (i > 1 ? " " : "") + std::string(argv[i]);
	if (FILE *f = std::fopen(marker, "wb")) {
		std::fwrite(args.data(), 1, args.size(), f);
		std::fclose(f);
	}
	return 0;
}
