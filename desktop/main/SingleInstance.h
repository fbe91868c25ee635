#pragma once

// One copy of the desktop program per session. The first copy owns a name on the session
// bus and answers Activate there (org.freedesktop.Application) by bringing its window to
// the front; a later copy finds the name taken, asks the first copy to show itself, and
// ends.
//
// Thread: the user-interface thread.

#include <QDBusConnection>
#include <QObject>
#include <QVariantList>
#include <QVariantMap>

#include <functional>

namespace orvane {

class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    static constexpr const char* kPath = "/org/orvane/Orvane";

    // The name of this session's copy: $ORVANE_DESKTOP_SERVICE, or org.orvane.Orvane.
    static QString serviceName();

    SingleInstance(const QDBusConnection& bus, const QString& name, QObject* parent = nullptr);

    // True when this copy now owns the name (or there is no bus to share it on).
    bool claim();
    // What Activate does in the copy that owns the name.
    void onActivate(std::function<void()> show) { m_show = std::move(show); }
    // What ActivateAction does there: the action's name ("play", "show") and its
    // parameter (a recording's file name).
    void onAction(std::function<void(const QString&, const QString&)> act)
    {
        m_act = std::move(act);
    }
    // From a later copy: asks the owner to carry out `action` on `parameter`, and waits
    // until it has taken it.
    void activateActionOnRunningCopy(const QString& action, const QString& parameter);
    // From a later copy: asks the owner to show itself. `wait`: until it has (a program
    // about to end); otherwise the request is only sent.
    void activateRunningCopy(bool wait);

public Q_SLOTS:
    void Activate(const QVariantMap& platformData);
    void ActivateAction(const QString& actionName, const QVariantList& parameter,
                        const QVariantMap& platformData);

private:
    QDBusConnection m_bus;
    QString m_name;
    std::function<void()> m_show;
    std::function<void(const QString&, const QString&)> m_act;
};

} // namespace orvane
