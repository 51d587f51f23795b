#pragma once

#include <cstdint>
#include <string>

namespace ostrelo {

// What every reader (digits and plates) returns. A failed read is the default value:
// ok false, value 0, digits 0, confidence 0, empty text, exact value 0.
struct StatReading {
	bool ok = false;
	int32_t value = 0;      // the number read; for plates the count rounded half away from zero
	int32_t digits = 0;     // digit characters read; 1 for plates
	float confidence = 0.f; // 0..1
	std::string text;       // digits, most significant first, leading zeros kept
	float exactValue = 0.f; // plates: 0..3 in halves; 0 from the digit reader
};

} // namespace ostrelo
