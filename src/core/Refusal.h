#pragma once

#include <QString>

#include <optional>
#include <utility>

namespace bx {

/** The field of a refusal that has no control of its own to focus. */
enum class NoField
{
    None
};

/**
 * Why logic refused a command: the message exactly as the user is to read it, and the control the
 * window puts the focus on. Logic returns it, having written nothing, and never shows it itself;
 * the window shows it with showRefusal (core/ui/ShowRefusal.h).
 */
template <typename F = NoField> struct RefusalOf
{
    using Field = F;
    QString message;
    Field field{};
    bool operator==(const RefusalOf&) const = default;
};

/** The result of a command that has nothing to hand back but that it was done. */
struct Done
{
    bool operator==(const Done&) const = default;
};

/**
 * What a command that checks its input hands back: its result when it was done, its refusal when
 * it refused, or neither when the user declined one of its questions (nothing done, nothing to
 * show). Checks that only say yes or no return std::optional<RefusalOf<Field>> instead.
 */
template <typename T = Done, typename Field = NoField> class Outcome
{
public:
    Outcome() = default;
    Outcome(T value)
        : m_value(std::move(value))
    {
    }
    Outcome(RefusalOf<Field> refusal)
        : m_refusal(std::move(refusal))
    {
    }

    /** Declined by the user's answer to a question. */
    static Outcome declined() { return Outcome(); }

    /** True when the command was done. */
    explicit operator bool() const { return m_value.has_value(); }
    const T& operator*() const { return *m_value; }
    const T* operator->() const { return &*m_value; }
    const std::optional<RefusalOf<Field>>& refusal() const { return m_refusal; }

private:
    std::optional<T> m_value;
    std::optional<RefusalOf<Field>> m_refusal;
};

} // namespace bx
