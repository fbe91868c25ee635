#pragma once

// The line server's signals that `watch` follows, as slots that call functions.

#include <QObject>
#include <QString>
#include <QVariantMap>

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
    void faxEnded(const QString& path, const QString& line, const QString& outcome,
                  const QVariantMap& facts)
    {
        if (m_faxEnded)
            m_faxEnded(path, line, outcome, facts);
    }

public:
    // How a fax exchange went, where it is followed.
    using FaxEndedHandler = std::function<void(const QString& path, const QString& line,
                                               const QString& outcome, const QVariantMap& facts)>;
    void onFaxEnded(FaxEndedHandler handler) { m_faxEnded = std::move(handler); }

private:
    StatusHandler m_status;
    MessageHandler m_message;
    FaxHandler m_fax;
    FaxEndedHandler m_faxEnded;
};

} // namespace orvane::ctl
