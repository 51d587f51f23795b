#pragma once

// Writes the C++ source of the template tables (statreader/hud_templates.cpp).

#include "statreader/hud_templates.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ostrelo::hudtemplates {

struct CutTable {
	std::vector<uint8_t> pixels; // storedWidth x storedHeight of its def
	bool standIn = true;
	std::string source; // e.g. "menu.png 150,851 551x75"
};

std::string templateTableSource(const std::array<CutTable, kHudTemplateCount> &tables);

} // namespace ostrelo::hudtemplates
