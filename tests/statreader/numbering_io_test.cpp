#include "statreader/numbering_io.h"

#include <gtest/gtest.h>

using namespace ostrelo;

TEST(GameNos, MergedCompactWithKeysAscending)
{
	struct Case {
		const char *stored;
		int32_t event;
		int32_t gameNo;
		const char *expect;
	} cases[] = {
		{"{}", 12, 3, R"({"12":3})"},
		{R"({"40":1})", 12, 3, R"({"12":3,"40":1})"},
		{R"({"12":2, "40" : 1})", 12, 3, R"({"12":3,"40":1})"},
		// Keys sort as strings, as they are stored.
		{R"({"9":4})", 100, 2, R"({"100":2,"9":4})"},
		{"not json", 12, 3, R"({"12":3})"},
		{"[1,2]", 12, 3, R"({"12":3})"},
		{"", 5, 1, R"({"5":1})"},
		{nullptr, 5, 1, R"({"5":1})"},
		// Without an event only the old entries are written back.
		{R"({"12":2})", 0, 7, R"({"12":2})"},
		{"garbage", -3, 7, "{}"},
	};
	for (const Case &c : cases)
		EXPECT_EQ(mergeGameNos(c.stored, c.event, c.gameNo), c.expect) << (c.stored ? c.stored : "(null)");
}
