#pragma once

#include <QString>

#include <type_traits>
#include <utility>
#include <variant>

namespace tkl {

/// Why something could not be loaded or saved: the whole sentence to show.
struct Failure
{
    QString message;
};

/// What every loader and saver of the core returns: the value, or why there is none.
///
/// `E` is Failure unless the callers need more than the sentence (a layout's error
/// names its line and field, see LayoutError); every error type has a `message`.
/// Warnings that go with a value that was loaded all the same (a damaged device memory
/// that was set aside) belong to the value, not here: the load did not fail, and the
/// caller decides when to show them.
///
/// Build one from a value or from an error: `return catalogue;`, `return Failure{text};`.
template <typename T, typename E = Failure>
class [[nodiscard]] Result
{
    static_assert(!std::is_same_v<std::decay_t<T>, std::decay_t<E>>, "a value and an error must differ");

public:
    Result(T value)
        : m_state(std::in_place_index<0>, std::move(value))
    {
    }
    Result(E error)
        : m_state(std::in_place_index<1>, std::move(error))
    {
    }

    /// No conversion to bool: `if (result)` reads as "if it failed" as easily as "if it
    /// worked"; ok() says which.
    bool ok() const { return m_state.index() == 0; }

    /// The value; only when ok().
    T &value() & { return std::get<0>(m_state); }
    const T &value() const & { return std::get<0>(m_state); }
    T &&value() && { return std::get<0>(std::move(m_state)); }
    T *operator->() { return &value(); }
    const T *operator->() const { return &value(); }
    T &operator*() & { return value(); }
    const T &operator*() const & { return value(); }

    /// Why not; an empty error when ok(), so that a message may be built either way.
    const E &error() const
    {
        static const E none{};
        return ok() ? none : std::get<1>(m_state);
    }

private:
    std::variant<T, E> m_state;
};

/// A saver's result: done, or why not.
template <typename E>
class [[nodiscard]] Result<void, E>
{
public:
    Result() = default;
    Result(E error)
        : m_error(std::move(error))
        , m_failed(true)
    {
    }

    bool ok() const { return !m_failed; }

    /// Why not; an empty error when ok().
    const E &error() const { return m_error; }

private:
    E m_error{};
    bool m_failed = false;
};

} // namespace tkl
