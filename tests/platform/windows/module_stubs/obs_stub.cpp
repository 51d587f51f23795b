// Stand-in obs.dll for the cross-compiled check of the module's exports: the three libobs
// locale functions the entry file calls, each noting its call.

#include "obs_stub.h"

#include <string>

#define OBS_EXPORT extern "C" __declspec(dllexport)

struct obs_module;
struct text_lookup {
	std::string locale;
};

namespace {

std::string g_calls;

} // namespace

OBS_STUB_API void obs_stub_note(const char *call)
{
	g_calls += (g_calls.empty() ? "" : "; ") + std::string(call);
}

OBS_STUB_API const char *obs_stub_calls(void)
{
	return g_calls.c_str();
}

OBS_STUB_API void obs_stub_clear(void)
{
	g_calls.clear();
}

OBS_EXPORT text_lookup *obs_module_load_locale(obs_module *module, const char *defaultLocale, const char *locale)
{
	obs_stub_note(("load locale " + std::string(defaultLocale) + " " + locale + (module ? "" : " without module"))
			      .c_str());
	return new text_lookup{locale};
}

OBS_EXPORT void text_lookup_destroy(text_lookup *lookup)
{
	// libobs takes a null lookup as nothing to do.
	if (lookup)
		obs_stub_note(("destroy " + lookup->locale).c_str());
	delete lookup;
}

OBS_EXPORT bool text_lookup_getstr(text_lookup *lookup, const char *key, const char **out)
{
	obs_stub_note(("get " + std::string(key) + (lookup ? " from " + lookup->locale : " without lookup")).c_str());
	*out = key;
	return lookup != nullptr;
}
