#pragma once

#include <QString>

#include <optional>
#include <utility>

namespace zq4 {

// The outcome of a step that can fail: either done, or failed with a description
// that the operator can act on.
class [[nodiscard]] Status {
public:
    static Status Ok() { return Status(); }
    static Status Failed(QString description) { return Status(std::move(description)); }

    bool ok() const { return !m_failure.has_value(); }
    explicit operator bool() const { return ok(); }
    QString description() const { return m_failure.value_or(QString()); }

private:
    Status() = default;
    explicit Status(QString description) : m_failure(std::move(description)) {}

    std::optional<QString> m_failure;
};

// A value, or the description of why it could not be had.
template <class T> class [[nodiscard]] Result {
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Status failure) : m_failure(std::move(failure)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }
    const T& value() const { return *m_value; }
    QString description() const { return m_failure.description(); }

private:
    std::optional<T> m_value;
    Status m_failure = Status::Ok();
};

} // namespace zq4
