// The entry points OBS looks up in the module. Everything the module contributes is
// registered from obs_module_load; nothing else keeps state here.

#include "module/module_exports.h"
#include "module/module_parts.h"
#include "update/update_rules.h"

#include <obs-module.h>

namespace {

obs_module_t *g_module = nullptr;
lookup_t *g_locale = nullptr;

} // namespace

OSTRELO_EXPORT void obs_module_set_pointer(obs_module_t *module)
{
	g_module = module;
}

OSTRELO_EXPORT uint32_t obs_module_ver(void)
{
	return ostrelo::kModuleApiVersion;
}

OSTRELO_EXPORT void obs_module_set_locale(const char *locale)
{
	if (g_locale)
		text_lookup_destroy(g_locale);
	g_locale = obs_module_load_locale(g_module, "en-US", locale);
}

OSTRELO_EXPORT void obs_module_free_locale(void)
{
	text_lookup_destroy(g_locale);
	g_locale = nullptr;
}

OSTRELO_EXPORT bool obs_module_get_string(const char *key, const char **out)
{
	return text_lookup_getstr(g_locale, key, out);
}

OSTRELO_EXPORT const char *obs_module_description(void)
{
	return ostrelo::kModuleDescription;
}

OSTRELO_EXPORT bool obs_module_load(void)
{
	ostrelo::registerStatReaderFilter();
	ostrelo::loadStudioDock();
	// The update check waits until OBS has settled, on the application object; OBS without
	// a Qt widget application gets none.
	ostrelo::scheduleUpdateCheck(ostrelo::kFirstUpdateCheckDelayMs);
	return true;
}

OSTRELO_EXPORT void obs_module_unload(void)
{
	ostrelo::unloadStudioDock();
}
