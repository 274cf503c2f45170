#pragma once

#include <coroutine>
#include <exception>
#include <optional>
#include <stdexcept>
#include <type_traits>
#include <utility>

// A procedure's step that waits: a C++20 coroutine that starts when it is first awaited (or
// started by run()), suspends at each wait without holding the thread, and hands its value (or
// its exception) to whoever awaits it. Whoever awaits a task is resumed the moment it ends, on
// the same thread, with no event in between.
//
// With GCC 12, an aggregate built in a co_await's operand as an argument taken by value
// (`co_await ask({text, ...})`, `co_await ask(Command{...})`) is destroyed twice: build it in a
// variable first. Temporaries from constructors and function calls are fine.
template <typename T = void> class Task;

namespace TaskDetail {

struct PromiseBase {
    std::coroutine_handle<> continuation;
    std::exception_ptr error;

    std::suspend_always initial_suspend() noexcept { return {}; }
    struct FinalAwaiter {
        bool await_ready() noexcept { return false; }
        template <typename P>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<P> h) noexcept {
            PromiseBase& promise = h.promise();
            if (promise.continuation) {
                return promise.continuation;
            }
            return std::noop_coroutine();
        }
        void await_resume() noexcept {}
    };
    FinalAwaiter final_suspend() noexcept { return {}; }
    void unhandled_exception() noexcept { error = std::current_exception(); }
};

template <typename T> struct Promise : PromiseBase {
    std::optional<T> value;
    Task<T> get_return_object() noexcept;
    template <typename U> void return_value(U&& v) { value.emplace(std::forward<U>(v)); }
};

template <> struct Promise<void> : PromiseBase {
    Task<void> get_return_object() noexcept;
    void return_void() noexcept {}
};

} // namespace TaskDetail

template <typename T> class [[nodiscard]] Task {
public:
    using promise_type = TaskDetail::Promise<T>;
    using Handle = std::coroutine_handle<promise_type>;

    Task() = default;
    explicit Task(Handle handle) : handle_(handle) {}
    Task(Task&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
    Task& operator=(Task&& other) noexcept {
        if (this != &other) {
            destroy();
            handle_ = std::exchange(other.handle_, {});
        }
        return *this;
    }
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;
    ~Task() { destroy(); }

    bool valid() const { return bool(handle_); }
    bool done() const { return !handle_ || handle_.done(); }

    // Starts a task nobody awaits; done() says when it has ended.
    void run() { handle_.resume(); }
    // The value of a task that ended; its exception is raised again.
    T result() {
        if (!handle_) {
            throw std::logic_error("the value of a task that never ran");
        }
        rethrowError();
        if constexpr (!std::is_void_v<T>) {
            std::optional<T>& value = handle_.promise().value;
            if (!value) {
                throw std::logic_error("the value of a task that has not ended");
            }
            return std::move(*value);
        }
    }

    // co_await task: runs it, and resumes the awaiting coroutine with its value when it ends.
    bool await_ready() const noexcept { return done(); }
    std::coroutine_handle<> await_suspend(std::coroutine_handle<> awaiting) noexcept {
        handle_.promise().continuation = awaiting;
        return handle_;
    }
    T await_resume() { return result(); }

private:
    void rethrowError() const {
        if (!handle_) {
            return;
        }
        const std::exception_ptr& error = handle_.promise().error;
        if (error != nullptr) {
            std::rethrow_exception(error);
        }
    }
    void destroy() {
        if (handle_) {
            handle_.destroy();
            handle_ = {};
        }
    }

    Handle handle_;
};

namespace TaskDetail {

template <typename T> Task<T> Promise<T>::get_return_object() noexcept {
    return Task<T>(std::coroutine_handle<Promise<T>>::from_promise(*this));
}

inline Task<void> Promise<void>::get_return_object() noexcept {
    return Task<void>(std::coroutine_handle<Promise<void>>::from_promise(*this));
}

} // namespace TaskDetail
