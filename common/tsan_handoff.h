#pragma once

// A functor that travels from one thread to another through a queue ThreadSanitizer cannot
// see into: Qt's event queue and thread pool lock with futexes inside Debian's Qt, which is
// not instrumented. Under ThreadSanitizer the wrapper publishes itself where it comes to rest
// (its last move or copy, inside the queued call) and acquires that publication when it runs
// or is destroyed, so whatever the sending thread wrote into the functor, and before it, is
// ordered before what the receiving thread reads. Races in the functor's own work are still
// reported. In other builds it is the functor and nothing more.

#include <type_traits>
#include <utility>

#if defined(__SANITIZE_THREAD__)
#define OSTRELO_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define OSTRELO_TSAN 1
#endif
#endif

#ifdef OSTRELO_TSAN
extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);
#endif

namespace ostrelo {

inline void tsanRelease([[maybe_unused]] void *addr)
{
#ifdef OSTRELO_TSAN
	__tsan_release(addr);
#endif
}

inline void tsanAcquire([[maybe_unused]] void *addr)
{
#ifdef OSTRELO_TSAN
	__tsan_acquire(addr);
#endif
}

template <typename F>
class HandOff {
public:
	explicit HandOff(F fn) : fn_(std::move(fn)) { tsanRelease(this); }
	HandOff(HandOff &&other) noexcept(std::is_nothrow_move_constructible_v<F>) : fn_(std::move(other.fn_))
	{
		tsanRelease(this);
	}
	HandOff(const HandOff &other) : fn_(other.fn_) { tsanRelease(this); }
	HandOff &operator=(const HandOff &) = delete;
	HandOff &operator=(HandOff &&) = delete;
	// A call that never ran (its receiver went first) is destroyed on the receiving side too.
	~HandOff() { tsanAcquire(this); }

	decltype(auto) operator()()
	{
		tsanAcquire(this);
		return fn_();
	}

private:
	F fn_;
};

template <typename F>
HandOff<std::decay_t<F>> handOff(F &&fn)
{
	return HandOff<std::decay_t<F>>(std::forward<F>(fn));
}

} // namespace ostrelo
