#pragma once

// The simulated exchange on the bus, for end-to-end tests, benchmarks and the demo: place
// a call on a simulated line as a caller would, hang up, inject a fault, and read back
// what happened to a call.
//
// Thread: the server's main thread.

#include <QDBusContext>
#include <QObject>
#include <QVariantMap>

namespace orvane {

class SimulatorService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.orvane.Tolvex.Simulator")

public:
    explicit SimulatorService(QObject* parent = nullptr);

public Q_SLOTS:
    QStringList Lines();
    // Returns the call's id. hangUpAfterMs < 0: the caller never hangs up.
    quint64 PlaceCall(const QString& line, const QString& callerNumber, int rings,
                      int ringIntervalMs, const QString& callerAudioWav, bool callerWaits,
                      const QString& captureWav, int hangUpAfterMs);
    // One call on each of `lines` at the same moment, for load tests. Returns their ids.
    QList<quint64> PlaceCalls(const QStringList& lines, const QString& callerNumber, int rings,
                              int ringIntervalMs, const QString& callerAudioWav, bool callerWaits,
                              int hangUpAfterMs);
    void HangUp(const QString& line);
    // "NoDeviceOnAnswer", "MonitorOnly", "NoMediaComponent" (the next call on the line),
    // "MalformedFaxPages" (the next call placed on the line comes from a fax machine whose
    // pages are malformed), or "RegistrationFails" (until ClearFaults).
    void InjectFault(const QString& line, const QString& fault);
    void ClearFaults(const QString& line);
    QVariantMap CallInfo(quint64 id);
    QVariantMap LineInfo(const QString& line);

Q_SIGNALS:
    void CallEnded(quint64 id);
};

} // namespace orvane
