#!/bin/sh
# Lists the dynamic symbols the module defines and compares them with the entry points.
# Usage: check_exports.sh <module.so>, or check_exports.sh <module.dll> <PE objdump> for a
# Windows build (its export table by name).
set -eu
module="$1"
pe_objdump="${2:-}"
expected="obs_module_description
obs_module_free_locale
obs_module_get_string
obs_module_load
obs_module_set_locale
obs_module_set_pointer
obs_module_unload
obs_module_ver"
if [ -n "$pe_objdump" ]; then
	actual=$("$pe_objdump" -p "$module" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
		awk '/^[[:space:]]*\[ *[0-9]+\]/ {print $NF}' | sort)
else
	actual=$(nm -D --defined-only "$module" | awk '$2 ~ /^[TtWw]$/ {print $3}' | grep -v '^_' | sort)
fi
if [ "$actual" != "$expected" ]; then
	echo "exported functions differ from the entry points:"
	echo "--- expected"; echo "$expected"
	echo "--- actual"; echo "$actual"
	exit 1
fi
echo "exports ok: $(echo "$actual" | tr '\n' ' ')"
