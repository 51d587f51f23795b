// Loads the cross-built module the way OBS does on Windows (LoadLibrary, then the entry
// points by their undecorated names) and drives it through one session against the stand-in
// obs.dll. Prints one line per check; exits non-zero on a failure.

#include "check.h"
#include "module_stubs/obs_stub.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

using ostrelo::test::expect;

namespace {

template <typename Fn>
Fn entry(HMODULE module, const char *name)
{
	FARPROC address = GetProcAddress(module, name);
	expect(address != nullptr, name);
	return reinterpret_cast<Fn>(reinterpret_cast<void *>(address));
}

} // namespace

int main(int argc, char **argv)
{
	if (argc != 2) {
		std::printf("usage: module_exports_check <module.dll>\n");
		return 2;
	}
	HMODULE module = LoadLibraryA(argv[1]);
	expect(module != nullptr, "the module loads");
	if (!module)
		return ostrelo::test::checkResult();

	auto setPointer = entry<void (*)(void *)>(module, "obs_module_set_pointer");
	auto ver = entry<uint32_t (*)()>(module, "obs_module_ver");
	auto setLocale = entry<void (*)(const char *)>(module, "obs_module_set_locale");
	auto freeLocale = entry<void (*)()>(module, "obs_module_free_locale");
	auto getString = entry<bool (*)(const char *, const char **)>(module, "obs_module_get_string");
	auto description = entry<const char *(*)()>(module, "obs_module_description");
	auto load = entry<bool (*)()>(module, "obs_module_load");
	auto unload = entry<void (*)()>(module, "obs_module_unload");
	if (!setPointer || !ver || !setLocale || !freeLocale || !getString || !description || !load || !unload)
		return ostrelo::test::checkResult();

	expect(ver() == 0x1F010001u, "obs_module_ver answers 31.1.1");
	expect(std::strcmp(description(), "Ostrelo 4.4.1: Glasswing layouts, Vexmoor Stat Reader, in-app updates, and "
					  "local scene/stream/recording controls by Pellworth") == 0,
	       "obs_module_description answers the module's text");

	int handle = 0;
	obs_stub_clear();
	setPointer(&handle);
	setLocale("de-DE");
	setLocale("en-US");
	const char *text = nullptr;
	getString("Missing", &text);
	freeLocale();
	getString("Missing", &text);
	const bool loaded = load();
	unload();
	const std::string calls = obs_stub_calls();
	std::printf("calls: %s\n", calls.c_str());
	expect(calls == "load locale en-US de-DE; destroy de-DE; load locale en-US en-US; get Missing from en-US; "
			"destroy en-US; get Missing without lookup; register filter; load dock; schedule update check "
			"8000; "
			"unload dock",
	       "a session reaches libobs and the module's parts in order, each lookup released once");
	expect(loaded, "obs_module_load answers true");
	FreeLibrary(module);
	return ostrelo::test::checkResult();
}
