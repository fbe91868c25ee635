#pragma once

// The line server's signals that `watch` follows, as slots that call functions.

#include <QObject>
#include <QString>

#include <functional>

namespace orvane::ctl {

class ServerSignals : public QObject {
    Q_OBJECT
public:
    using StatusHandler =
        std::function<void(const QString& path, const QString& line, const QString& status)>;
    using MessageHandler =
        std::function<void(const QString& file, const QString& line, const QString& number,
                           const QString& name, const QString& time, int seconds)>;
    using FaxHandler = std::function<void(const QString& path, const QString& line,
                                          const QString& time, int pages)>;

    ServerSignals(StatusHandler status, MessageHandler message, FaxHandler fax)
        : m_status(std::move(status))
        , m_message(std::move(message))
        , m_fax(std::move(fax))
    {}

public Q_SLOTS:
    void changed(const QString& path, const QString& line, const QString& status, bool)
    {
        m_status(path, line, status);
    }
    void messageLogged(const QString& file, const QString& line, const QString& number,
                       const QString& name, const QString& time, int seconds)
    {
        m_message(file, line, number, name, time, seconds);
    }
    void faxReceived(const QString& path, const QString& line, const QString& time, int pages)
    {
        m_fax(path, line, time, pages);
    }

private:
    StatusHandler m_status;
    MessageHandler m_message;
    FaxHandler m_fax;
};

} // namespace orvane::ctl
