#pragma once

// The line server's LineStatusChanged signal, as a slot that calls a function.

#include <QObject>
#include <QString>

#include <functional>

namespace orvane::ctl {

class StatusSignal : public QObject {
    Q_OBJECT
public:
    using Handler =
        std::function<void(const QString& path, const QString& line, const QString& status)>;
    explicit StatusSignal(Handler handler)
        : m_handler(std::move(handler))
    {}

public Q_SLOTS:
    void changed(const QString& path, const QString& line, const QString& status, bool)
    {
        m_handler(path, line, status);
    }

private:
    Handler m_handler;
};

} // namespace orvane::ctl
