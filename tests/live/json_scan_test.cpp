// The response scanner on the bodies a live-results service sends, and on the ones it
// should not.

#include "live/json_scan.h"

#include <gtest/gtest.h>

#include <string>

using ostrelo::scanJsonInt;

TEST(ScanJsonInt, FindsTheFirstIntegerOfAKey)
{
	struct Case {
		std::string body;
		const char *key;
		int expected;
	};
	const Case cases[] = {
		{R"({"game_no":5})", "game_no", 5},
		{"{\"game_no\" : \n\t\r -12}", "game_no", -12},
		{R"({"ok":true,"rev":12,"live_seq":5})", "rev", 12},
		{R"({"ok":true,"rev":12,"live_seq":5})", "live_seq", 5},
		{R"({"data":{"game_no":8},"game_no":9})", "game_no", 8}, // nested counts, first wins
		{R"({"game_no_total":3,"game_no":4})", "game_no", 4},    // only the whole quoted key
		{R"({"my_game_no":3})", "game_no", -1},
		{R"({"game_no":"5"})", "game_no", -1},
		{R"({"game_no":null})", "game_no", -1},
		{R"({"game_no":[1]})", "game_no", -1},
		{R"({"game_no":})", "game_no", -1},
		{R"({"game_no"})", "game_no", -1},
		{R"({"game_no":-})", "game_no", -1},
		{R"({"game_no":- 4})", "game_no", -1},
		{R"({"game_no":)", "game_no", -1},
		{R"({"game_no": )", "game_no", -1},
		{R"({"game_no":12abc})", "game_no", 12},
		{R"({"game_no":007})", "game_no", 7},
		{R"({"game_no":-0})", "game_no", 0},
		{R"({"game_no":1.5})", "game_no", 1},
		{R"({"game_no":2e3})", "game_no", 2},
		{R"({"rev":-1,"live_seq":5})", "rev", -1},
		{"", "game_no", -1},
		{R"({"":3})", "", 3},
		{std::string("\0\0{\"rev\":6}", 11), "rev", 6},
		// A string spelling the key counts as the key, then the next colon decides.
		{R"({"name":"game_no","game_no":5})", "game_no", 5},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.body);
		EXPECT_EQ(scanJsonInt(c.body, c.key), c.expected);
	}
}

TEST(ScanJsonInt, NumbersOutsideThirtyTwoBitsAreNotFound)
{
	struct Case {
		const char *number;
		int expected;
	};
	const Case cases[] = {
		{"2147483647", 2147483647},
		{"-2147483648", -2147483647 - 1},
		{"2147483648", -1},
		{"-2147483649", -1},
		{"4294967301", -1}, // wraps to 5 in 32-bit arithmetic
		{"99999999999999999999999999999999999999", -1},
		{"000000000000000000000000000000000000042", 42},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.number);
		EXPECT_EQ(scanJsonInt(std::string(R"({"rev":)") + c.number + "}", "rev"), c.expected);
	}
}
