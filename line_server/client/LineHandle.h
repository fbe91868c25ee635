#pragma once

// Handles on line objects of the line server. Copies of a handle share one object; when
// the last copy goes, the object is released (the server then unregisters the line and
// shuts it down). Every call returns a Status; nothing throws.
//
// Thread: the thread that created the handle (it receives the line's signals there).

#include "platform/Status.h"

#include <QDBusConnection>
#include <QObject>
#include <QVariant>

#include <memory>

namespace orvane {

class StatusGridExport;

// The signals of one line object.
class LineEvents : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
Q_SIGNALS:
    void test2();
    void messageBox(const QString& text, const QString& title);
};

class LineHandle {
public:
    LineHandle() = default; // an empty handle, like the spare element of a line array
    bool isNull() const { return !m_ref; }
    QString path() const;
    // The line's signals; null for an empty handle.
    LineEvents* events() const;
    // Lets go of this copy.
    void reset() { m_ref.reset(); }

    Status InitTAPI(const QString& address, const StatusGridExport& grid, qint16 row,
                    const QString& appPath) const;
    Status RegisterNotification1() const;
    Status UnRegisterCallNotifications1() const;
    Result<QString> getMessage() const;
    Result<QString> getAddress() const;
    Status FnSendFax(const QString& number, const QString& fileName, const QString& dirToSave,
                     const QString& addressName, const StatusGridExport* grid) const;
    Status FnReceiveFax(const QString& addressName, const QString& dirSave, qint16 rows,
                        qint16 print, const StatusGridExport* grid, const QString& appPath) const;

    Status setRings(qint16 v) const { return setProperty("Rings", QVariant::fromValue(v)); }
    Status setPlayFile(const QString& v) const { return setProperty("PlayFile", v); }
    Status setRecordTime(qint16 v) const
    {
        return setProperty("RecordTime", QVariant::fromValue(v));
    }
    Status setPlayType(const QString& v) const { return setProperty("PlayType", v); }
    // Longer than kMaxSpeechText: refused here, with the reason.
    Status setPlayMessage(const QString& v) const;
    Status setVolume(qint16 v) const { return setProperty("Volume", QVariant::fromValue(v)); }
    Status setRate(qint16 v) const { return setProperty("Rate", QVariant::fromValue(v)); }
    Status setVoice(qint16 v) const { return setProperty("Voice", QVariant::fromValue(v)); }
    Result<QVariant> property(const char* name) const;

private:
    friend class TolvexClient;
    class Ref;
    explicit LineHandle(std::shared_ptr<Ref> ref)
        : m_ref(std::move(ref))
    {}
    Status setProperty(const char* name, const QVariant& value) const;
    static Status emptyHandle();
    static Status checkProperty(const char* name);

    std::shared_ptr<Ref> m_ref;
};

// The line server as a client reaches it.
class TolvexClient {
public:
    explicit TolvexClient(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                          const QString& service = QString());

    QString service() const { return m_service; }
    const QDBusConnection& bus() const { return m_bus; }
    bool serverRunning() const;
    Result<LineHandle> createLine() const;
    // Every line object of the server and how it is now (the factory's LineStatus).
    Result<QList<QVariantMap>> lineStatus() const;
    // The server reads answering.conf again.
    Status reloadStandingLines() const;

private:
    QDBusConnection m_bus;
    QString m_service;
};

} // namespace orvane
