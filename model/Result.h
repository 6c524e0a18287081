#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <variant>

// A value, or the reason why there is none. Used where a caller needs to know why an
// operation failed; plain std::optional stands where "nothing" is an ordinary answer.
template <typename T> class Result
{
public:
    Result(T value) : m_state(std::move(value)) {}
    // A value with something the user should know about it.
    Result(T value, QString note) : m_state(std::move(value)), m_note(std::move(note)) {}
    static Result failure(QString reason) { return Result(Failure{std::move(reason)}); }

    bool ok() const { return std::holds_alternative<T>(m_state); }
    explicit operator bool() const { return ok(); }

    // Only valid when ok().
    const T& value() const& { return std::get<T>(m_state); }
    T&& value() && { return std::get<T>(std::move(m_state)); }
    const T* operator->() const { return &value(); }
    const T& operator*() const& { return value(); }

    // Empty when ok().
    QString error() const { return ok() ? QString() : std::get<Failure>(m_state).reason; }
    // What a value came with; empty for most.
    const QString& note() const { return m_note; }

private:
    struct Failure
    {
        QString reason;
    };
    explicit Result(Failure failure) : m_state(std::move(failure)) {}

    std::variant<T, Failure> m_state;
    QString m_note;
};
