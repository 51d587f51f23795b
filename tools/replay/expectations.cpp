#include "tools/replay/expectations.h"

#include "statreader/stat_table.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace ostrelo::replay {

namespace {

constexpr uint64_t kOpenEnd = std::numeric_limits<uint64_t>::max();

bool sameValue(double a, double b)
{
	return std::fabs(a - b) < 1e-6;
}

bool knownKey(std::string_view key)
{
	return statIndex(key) >= 0 || key == "placement" || key == "game_no";
}

std::vector<std::string_view> words(std::string_view line)
{
	std::vector<std::string_view> out;
	size_t i = 0;
	while (i < line.size()) {
		while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
			++i;
		size_t j = i;
		while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r')
			++j;
		if (j > i)
			out.push_back(line.substr(i, j - i));
		i = j;
	}
	return out;
}

// A whole word as a finite number; nothing when any of it is left over.
std::optional<double> number(std::string_view word)
{
	if (word.empty() || word.size() > 32)
		return std::nullopt;
	const std::string s(word);
	char *end = nullptr;
	const double v = std::strtod(s.c_str(), &end);
	if (end != s.c_str() + s.size() || !std::isfinite(v))
		return std::nullopt;
	return v;
}

} // namespace

ExpectFile parseExpectations(std::string_view text)
{
	ExpectFile out;
	int lineNo = 0;
	size_t pos = 0;
	while (pos <= text.size()) {
		size_t nl = text.find('\n', pos);
		if (nl == std::string_view::npos)
			nl = text.size();
		std::string_view line = text.substr(pos, nl - pos);
		pos = nl + 1;
		++lineNo;
		// "#" followed by a digit is a frame number; any other "#" starts a comment.
		for (size_t c = 0; c < line.size(); ++c) {
			if (line[c] == '#' &&
			    !(c + 1 < line.size() && std::isdigit(static_cast<unsigned char>(line[c + 1])))) {
				line = line.substr(0, c);
				break;
			}
		}
		const std::vector<std::string_view> w = words(line);
		if (w.empty())
			continue;
		auto fail = [&](const std::string &why) {
			out.entries.clear();
			out.error = "line " + std::to_string(lineNo) + ": " + why;
			return out;
		};

		ExpectEntry when;
		when.line = lineNo;
		std::string_view t = w[0];
		if (t[0] == '#') {
			const auto n = number(t.substr(1));
			if (!n || *n < 0 || *n != std::floor(*n) || *n > 1e12)
				return fail("\"" + std::string(t) + "\" is not a frame number");
			when.isFrame = true;
			when.frame = int64_t(*n);
		} else {
			if (t.back() == 's')
				t.remove_suffix(1);
			const auto s = number(t);
			if (!s || *s < 0 || *s > 1e7)
				return fail("\"" + std::string(w[0]) + "\" is not a time in seconds");
			when.seconds = *s;
		}
		if (w.size() < 2)
			return fail("a time without values");
		for (size_t i = 1; i < w.size(); ++i) {
			const size_t eq = w[i].find('=');
			if (eq == std::string_view::npos || eq == 0)
				return fail("\"" + std::string(w[i]) + "\" is not key=value");
			ExpectEntry e = when;
			e.key = std::string(w[i].substr(0, eq));
			if (!knownKey(e.key))
				return fail("unknown key \"" + e.key + "\"");
			const std::string_view v = w[i].substr(eq + 1);
			if (v != "-") {
				e.value = number(v);
				if (!e.value)
					return fail("\"" + std::string(v) + "\" is not a number");
			}
			out.entries.push_back(std::move(e));
		}
	}
	return out;
}

ExpectationCheck::ExpectationCheck(const std::vector<ExpectEntry> &entries,
				   const std::function<uint64_t(int64_t)> &frameStartNs, uint64_t latencyNs)
    : latencyNs_(latencyNs)
{
	for (const ExpectEntry &e : entries) {
		const uint64_t at = e.isFrame ? frameStartNs(e.frame) : uint64_t(std::llround(e.seconds * 1e9));
		keys_[e.key].spans.push_back(Span{at, kOpenEnd, e.value, e.line});
	}
	for (auto &[key, k] : keys_) {
		std::stable_sort(k.spans.begin(), k.spans.end(),
				 [](const Span &a, const Span &b) { return a.startNs < b.startNs; });
		for (size_t i = 0; i + 1 < k.spans.size(); ++i)
			k.spans[i].endNs = k.spans[i + 1].startNs;
	}
}

void ExpectationCheck::observe(uint64_t atNs, const std::map<std::string, double> &values)
{
	for (auto &[key, k] : keys_) {
		const auto it = values.find(key);
		const std::optional<double> now = it == values.end() ? std::nullopt : std::optional(it->second);
		const bool changed =
			!k.seen || now.has_value() != k.held.has_value() || (now && !sameValue(*now, *k.held));
		k.seen = true;
		k.held = now;
		if (changed && now)
			checkChange(key, k, atNs);
		markHeld(k, atNs);
	}
}

void ExpectationCheck::checkChange(const std::string &key, KeyTrack &k, uint64_t atNs)
{
	const uint64_t from = atNs > latencyNs_ ? atNs - latencyNs_ : 0;
	bool any = false;
	const Span *current = nullptr;
	for (const Span &s : k.spans) {
		if (s.startNs > atNs || s.endNs <= from)
			continue;
		// A value nobody wrote down may be anything.
		if (!s.value)
			return;
		if (sameValue(*s.value, *k.held))
			return;
		any = true;
		current = &s;
	}
	if (!any)
		return;
	Finding f{Finding::Wrong, key, current->line, atNs, 0, *current->value, true, *k.held};
	findings_.push_back(f);
}

void ExpectationCheck::markHeld(KeyTrack &k, uint64_t atNs)
{
	if (!k.held)
		return;
	for (Span &s : k.spans) {
		if (s.matched || !s.value || s.startNs > atNs)
			continue;
		if (s.endNs != kOpenEnd && atNs > s.endNs && atNs - s.endNs > latencyNs_)
			continue;
		if (sameValue(*s.value, *k.held))
			s.matched = true;
	}
}

void ExpectationCheck::finish(uint64_t endNs)
{
	if (finished_)
		return;
	finished_ = true;
	for (auto &[key, k] : keys_) {
		for (Span &s : k.spans) {
			if (!s.value || s.startNs >= endNs)
				continue;
			const uint64_t end = std::min(s.endNs, endNs);
			findings_.push_back(Finding{s.matched ? Finding::Matched : Finding::Missed, key, s.line,
						    s.startNs, end, *s.value, true, 0});
		}
	}
}

int ExpectationCheck::count(Finding::Kind kind) const
{
	return int(
		std::count_if(findings_.begin(), findings_.end(), [kind](const Finding &f) { return f.kind == kind; }));
}

} // namespace ostrelo::replay
