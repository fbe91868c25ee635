#pragma once

// Creates the line objects, each on a thread of its own, and releases them: when their
// client lets go of them, or when their client leaves the bus.
//
// Thread: the server's main thread.

#include "line_server/line/LoggedEvent.h"
#include "platform/Status.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <QVariantMap>

#include <functional>

class QDBusServiceWatcher;

namespace orvane {

class LineObject;

class LineFactory : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.orvane.Tolvex.Factory")

public:
    explicit LineFactory(const QDBusConnection& bus, QObject* parent = nullptr);
    ~LineFactory() override;

    // Releases every line and waits (at most `timeoutMs`) for their threads to end.
    void releaseAll(int timeoutMs);
    int lineCount() const { return int(m_lines.size()); }
    // For tests: the object and thread behind a path.
    LineObject* lineAt(const QString& path) const;
    QThread* threadOf(const QString& path) const;

    // A line the server holds itself (a standing line): no client owns it, and it ends
    // only by releaseStanding() or the server's end. Returns its path; empty when it
    // cannot be exported.
    QString createStandingLine();
    // Ends the line after whatever it is doing now: a call in progress is not cut short.
    void releaseStanding(const QString& path) { release(path); }
    // What Reload() does; set by the server.
    void setReload(std::function<Status()> reload) { m_reload = std::move(reload); }
    // Called on the server's thread with each call or fax a line has logged, after the
    // bus has been told.
    void setOnLogged(std::function<void(const LoggedEvent&)> listener)
    {
        m_onLogged = std::move(listener);
    }

public Q_SLOTS:
    // A line that belongs to the caller: released when the caller releases it or leaves
    // the bus.
    QDBusObjectPath CreateLine();
    // A line that only ReleaseLine (or the server's end) releases, for work by hand with
    // busctl or gdbus, whose every call is a client of its own.
    QDBusObjectPath CreateLineUnowned();
    void ReleaseLine(const QDBusObjectPath& path);
    // Every line object and how it is now: "path", "line" (its name), "standing" (held by
    // the server for answering.conf), "status" (its status cell) and "message" (the last
    // message it had). Answered at once, whatever the lines are doing.
    QList<QVariantMap> LineStatus();
    // Reads answering.conf again: standing lines are added, changed and removed; a call in
    // progress is never cut. A file with a mistake changes nothing and is the error.
    void Reload();

Q_SIGNALS:
    void LineReleased(const QString& path);
    // A line wrote a status: the line object, its line's name, the text, and whether it is
    // a standing line.
    void LineStatusChanged(const QString& path, const QString& line, const QString& status,
                           bool standing);
    // A recorded call is in rec_message: its recording's file name (the row's key), the
    // line's name, the caller's number and name (empty when unknown), the call's time
    // (ISO 8601, local time) and its length in seconds (-1 when unknown).
    void MessageLogged(const QString& file, const QString& line, const QString& callerNumber,
                       const QString& callerName, const QString& time, int seconds);
    // A received fax is in recieve_fax: its full path (the row's key), the line, the time
    // it came (ISO 8601) and its pages (-1 when unknown).
    void FaxReceived(const QString& path, const QString& line, const QString& time, int pages);
    // A fax exchange has ended on the line object at `path` (sent, received, or broken
    // off): how it went, in words and as named values (transport audio or t38, switched,
    // bitRate, pages, ecm, ecmRetries, seconds).
    void FaxEnded(const QString& path, const QString& line, const QString& outcome,
                  const QVariantMap& facts);

private:
    struct Entry {
        LineObject* object = nullptr;
        QPointer<QThread> thread;
        QString owner;
        bool standing = false;
    };
    QDBusObjectPath createLine(bool owned);
    // `cutShort`: nobody is left to wait for (the owner left the bus, the server ends), so
    // a recording in progress ends now instead of after its full time.
    void release(const QString& path, bool cutShort = false);
    void clientGone(const QString& service);
    void announce(const LoggedEvent& event);

    QDBusConnection m_bus;
    QDBusServiceWatcher* m_watcher;
    QHash<QString, Entry> m_lines;
    QList<QPointer<QThread>> m_ending;
    quint64 m_next = 1;
    std::function<Status()> m_reload;
    std::function<void(const LoggedEvent&)> m_onLogged;
};

} // namespace orvane
