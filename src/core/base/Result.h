#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace orvi {

// An error that crosses a completion: a domain, a code and a message for the log.
struct Error {
    std::string domain;
    int code = 0;
    std::string message;

    bool operator==(const Error&) const = default;
};

// A value or an error, never both. Failures travel as values; nothing throws across a
// completion.
template <class T, class E = Error>
class Result {
public:
    Result(T value) : m_storage(std::in_place_index<0>, std::move(value)) {}
    Result(E error) : m_storage(std::in_place_index<1>, std::move(error)) {}

    static Result failure(E error) { return Result(std::move(error)); }

    bool ok() const { return m_storage.index() == 0; }
    explicit operator bool() const { return ok(); }

    const T& value() const& { return std::get<0>(m_storage); }
    T& value() & { return std::get<0>(m_storage); }
    T&& value() && { return std::get<0>(std::move(m_storage)); }
    const E& error() const { return std::get<1>(m_storage); }

private:
    std::variant<T, E> m_storage;
};

} // namespace orvi
