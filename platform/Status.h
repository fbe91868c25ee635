#pragma once

// Errors cross every boundary of the system as values: a numeric code in the style of
// the telephony and component services (HRESULTs and the few classic error numbers the
// call handling looks at) plus a human-readable description. Nothing throws across a
// component boundary.

#include <QString>

#include <optional>
#include <utility>

namespace orvane {

namespace err {
constexpr qint32 Ok = 0;
// The line has no usable device (TAPI_E_NODEVICE).
constexpr qint32 NoDevice = qint32(0x80040021u);
// A component could not be created (the classic "ActiveX component can't create object").
constexpr qint32 CannotCreate = 429;
constexpr qint32 Fail = qint32(0x80004005u);           // E_FAIL
constexpr qint32 NotImplemented = qint32(0x80004001u); // E_NOTIMPL
constexpr qint32 InvalidArg = qint32(0x80070057u);     // E_INVALIDARG
constexpr qint32 FileNotFound = qint32(0x80070002u);
constexpr qint32 InvalidState = qint32(0x8007139Fu);
constexpr qint32 OutOfMemory = qint32(0x8007000Eu);
} // namespace err

class Status {
public:
    Status() = default;
    Status(qint32 code, QString description)
        : m_code(code)
        , m_description(std::move(description))
    {}

    static Status ok() { return {}; }
    bool isOk() const { return m_code == err::Ok; }
    explicit operator bool() const { return isOk(); }
    qint32 code() const { return m_code; }
    const QString& description() const { return m_description; }
    // "0x80040021: description" for logs.
    QString toString() const;

private:
    qint32 m_code = err::Ok;
    QString m_description;
};

// A value or the status that explains its absence.
template <typename T>
class Result {
public:
    Result(T value)
        : m_value(std::move(value))
    {}
    Result(Status failure)
        : m_status(std::move(failure))
    {}

    bool isOk() const { return m_value.has_value(); }
    explicit operator bool() const { return isOk(); }
    const Status& status() const { return m_status; }
    T& value() { return *m_value; }
    const T& value() const { return *m_value; }
    T& operator*() { return *m_value; }
    T* operator->() { return &*m_value; }
    const T* operator->() const { return &*m_value; }

private:
    std::optional<T> m_value;
    Status m_status;
};

} // namespace orvane
