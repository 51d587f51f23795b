#pragma once

// The Windows check programs' one assertion: a line per check, and a failure count for the
// exit code.

#include <cstdio>

namespace ostrelo::test {

inline int &checkFailures()
{
	static int failures = 0;
	return failures;
}

inline void expect(bool ok, const char *what)
{
	std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
	if (!ok)
		++checkFailures();
}

// Prints the count and gives the exit code.
inline int checkResult()
{
	std::printf("%d failure(s)\n", checkFailures());
	return checkFailures() == 0 ? 0 : 1;
}

} // namespace ostrelo::test
