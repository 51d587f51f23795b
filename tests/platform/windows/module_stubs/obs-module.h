#pragma once

// Stand-in for libobs's obs-module.h in the cross-compiled check of the module's exports: the
// declarations the entry file meets, made as the real header makes them for a Windows build
// (entry points exported as C, the optional ones declared but not defined here), and the
// three libobs functions it calls, which come from the stand-in obs.dll (obs_stub.cpp).

#include <cstdint>

#define MODULE_EXPORT extern "C" __declspec(dllexport)

typedef struct obs_module obs_module_t;
typedef struct text_lookup lookup_t;

extern "C" lookup_t *obs_module_load_locale(obs_module_t *module, const char *default_locale, const char *locale);
extern "C" void text_lookup_destroy(lookup_t *lookup);
extern "C" bool text_lookup_getstr(lookup_t *lookup, const char *lookup_val, const char **out);

MODULE_EXPORT bool obs_module_load(void);
MODULE_EXPORT void obs_module_unload(void);
MODULE_EXPORT void obs_module_post_load(void);
MODULE_EXPORT void obs_module_set_locale(const char *locale);
MODULE_EXPORT void obs_module_free_locale(void);
MODULE_EXPORT bool obs_module_get_string(const char *lookup_string, const char **translated_string);
MODULE_EXPORT const char *obs_module_name(void);
MODULE_EXPORT const char *obs_module_description(void);
