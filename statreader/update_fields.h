#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace ostrelo {

// One value of a live-results update: stat values are integers, plates a number with one
// decimal. Kept free of Qt so frame processing stays plain C++; the edge turns it into JSON.
struct FieldValue {
	bool isDouble = false;
	int64_t i = 0;
	double d = 0.0;

	static FieldValue integer(int64_t v) { return FieldValue{false, v, 0.0}; }
	static FieldValue real(double v) { return FieldValue{true, 0, v}; }
	bool operator==(const FieldValue &o) const { return isDouble == o.isDouble && i == o.i && d == o.d; }
};

using UpdateFields = std::map<std::string, FieldValue>;

// What one update carries to the live client.
struct PendingSend {
	std::string apiUrl;
	std::string token;
	int32_t eventId = 0;
	UpdateFields fields;
	int32_t gameNo = 0;
};

} // namespace ostrelo
