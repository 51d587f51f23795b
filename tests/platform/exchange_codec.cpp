// The text form of orders and outcomes: a list of fields "name length\n<bytes>\n", so any
// byte (CR, LF, NUL in a header or body) survives the trip unchanged. A record starts at
// its field "order" or "outcome".

#include "exchange.h"

#include <charconv>
#include <functional>

namespace ostrelo::test {

namespace {

class Writer {
public:
	void field(std::string_view name, std::string_view value)
	{
		out_.append(name);
		out_ += ' ';
		out_ += std::to_string(value.size());
		out_ += '\n';
		out_.append(value);
		out_ += '\n';
	}
	void number(std::string_view name, int64_t value) { field(name, std::to_string(value)); }
	std::string take() { return std::move(out_); }

private:
	std::string out_;
};

bool toNumber(std::string_view text, int64_t &value)
{
	const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
	return ec == std::errc() && end == text.data() + text.size();
}

// Calls `onField(name, value)` for every field; false on a malformed text or when a
// callback refuses a field.
bool readFields(std::string_view text, const std::function<bool(std::string_view, std::string_view)> &onField)
{
	while (!text.empty()) {
		const size_t space = text.find(' ');
		const size_t newline = text.find('\n');
		if (space == std::string_view::npos || newline == std::string_view::npos || newline < space)
			return false;
		int64_t size = 0;
		if (!toNumber(text.substr(space + 1, newline - space - 1), size) || size < 0 ||
		    uint64_t(size) + 1 > text.size() - newline - 1)
			return false;
		const std::string_view name = text.substr(0, space);
		const std::string_view value = text.substr(newline + 1, size_t(size));
		if (text[newline + 1 + size_t(size)] != '\n' || !onField(name, value))
			return false;
		text.remove_prefix(newline + 2 + size_t(size));
	}
	return true;
}

template <typename T>
bool setNumber(std::string_view text, T &target)
{
	int64_t value = 0;
	if (!toNumber(text, value))
		return false;
	target = T(value);
	return true;
}

} // namespace

std::string encodeBatch(const ExchangeBatch &batch)
{
	Writer w;
	w.number("threads", batch.threads);
	for (const ExchangeOrder &o : batch.orders) {
		const net::HttpRequest &r = o.request;
		w.field("order", "");
		w.field("method", r.method);
		w.number("secure", r.secure);
		w.field("host", r.host);
		w.number("port", r.port);
		w.field("target", r.pathAndQuery);
		w.field("agent", r.userAgent);
		w.field("headers", r.headers);
		w.field("bearer", r.bearerToken);
		w.field("body", r.body);
		w.number("resolve_ms", r.timeouts.resolveMs);
		w.number("connect_ms", r.timeouts.connectMs);
		w.number("send_ms", r.timeouts.sendMs);
		w.number("receive_ms", r.timeouts.receiveMs);
		w.number("follow", r.followRedirects);
		w.number("mode", int(r.bodyMode));
		w.number("max", r.maxBodyBytes);
		w.field("extra_ca", r.extraCaFile);
		w.number("capture", o.captureBody);
		w.number("sink", o.useSink);
		w.number("refuse_at", o.refuseSinkAtCall);
	}
	return w.take();
}

bool decodeBatch(std::string_view text, ExchangeBatch &batch)
{
	batch = ExchangeBatch();
	return readFields(text, [&](std::string_view name, std::string_view value) {
		if (name == "threads")
			return setNumber(value, batch.threads);
		if (name == "order") {
			batch.orders.emplace_back();
			return true;
		}
		if (batch.orders.empty())
			return false;
		ExchangeOrder &o = batch.orders.back();
		net::HttpRequest &r = o.request;
		if (name == "method")
			r.method = value;
		else if (name == "secure")
			return setNumber(value, r.secure);
		else if (name == "host")
			r.host = value;
		else if (name == "port")
			return setNumber(value, r.port);
		else if (name == "target")
			r.pathAndQuery = value;
		else if (name == "agent")
			r.userAgent = value;
		else if (name == "headers")
			r.headers = value;
		else if (name == "bearer")
			r.bearerToken = value;
		else if (name == "body")
			r.body = value;
		else if (name == "resolve_ms")
			return setNumber(value, r.timeouts.resolveMs);
		else if (name == "connect_ms")
			return setNumber(value, r.timeouts.connectMs);
		else if (name == "send_ms")
			return setNumber(value, r.timeouts.sendMs);
		else if (name == "receive_ms")
			return setNumber(value, r.timeouts.receiveMs);
		else if (name == "follow")
			return setNumber(value, r.followRedirects);
		else if (name == "mode")
			return setNumber(value, r.bodyMode);
		else if (name == "max")
			return setNumber(value, r.maxBodyBytes);
		else if (name == "extra_ca")
			r.extraCaFile = value;
		else if (name == "capture")
			return setNumber(value, o.captureBody);
		else if (name == "sink")
			return setNumber(value, o.useSink);
		else if (name == "refuse_at")
			return setNumber(value, o.refuseSinkAtCall);
		else
			return false;
		return true;
	});
}

std::string encodeOutcomes(const std::vector<ExchangeOutcome> &outcomes)
{
	Writer w;
	for (const ExchangeOutcome &o : outcomes) {
		w.field("outcome", "");
		w.field("transport", o.transport);
		w.number("status", o.result.status);
		w.number("phase", int(o.result.failedAt));
		w.number("code", int64_t(o.result.code));
		w.field("body", o.body);
		w.field("sunk", o.sunk);
		w.number("sink_calls", o.sinkCalls);
		w.number("ms", o.elapsedMs);
	}
	return w.take();
}

bool decodeOutcomes(std::string_view text, std::vector<ExchangeOutcome> &outcomes)
{
	outcomes.clear();
	return readFields(text, [&](std::string_view name, std::string_view value) {
		if (name == "outcome") {
			outcomes.emplace_back();
			return true;
		}
		if (outcomes.empty())
			return false;
		ExchangeOutcome &o = outcomes.back();
		if (name == "transport")
			o.transport = value;
		else if (name == "status")
			return setNumber(value, o.result.status);
		else if (name == "phase")
			return setNumber(value, o.result.failedAt);
		else if (name == "code")
			return setNumber(value, o.result.code);
		else if (name == "body")
			o.body = value;
		else if (name == "sunk")
			o.sunk = value;
		else if (name == "sink_calls")
			return setNumber(value, o.sinkCalls);
		else if (name == "ms")
			return setNumber(value, o.elapsedMs);
		else
			return false;
		return true;
	});
}

} // namespace ostrelo::test
