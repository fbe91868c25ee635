#pragma once

// A line as its client sees it on the bus: the clsTapi interface, with its members in
// their order, the eight settings as properties, the event test2 and the message boxes the
// desktop shows for the line. Failures come back as error replies.
//
// Thread: the line's own thread; the factory moves it there right after registering it.

#include "line_server/line/ClsTapi.h"
#include "line_server/line/LineOutlet.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QMutex>
#include <QObject>

#include <functional>
#include <memory>

namespace orvane {

class LineObject : public QObject, protected QDBusContext, private LineOutlet {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.orvane.Tolvex.clsTapi")
    Q_PROPERTY(QString getMessage READ getMessage WRITE setGetMessage)
    Q_PROPERTY(QString getAddress READ getAddress)
    Q_PROPERTY(qint16 Rings READ rings WRITE setRings)
    Q_PROPERTY(QString PlayFile READ playFile WRITE setPlayFile)
    Q_PROPERTY(qint16 RecordTime READ recordTime WRITE setRecordTime)
    Q_PROPERTY(QString PlayType READ playType WRITE setPlayType)
    Q_PROPERTY(QString PlayMessage READ playMessage WRITE setPlayMessage)
    Q_PROPERTY(qint16 Volume READ volume WRITE setVolume)
    Q_PROPERTY(qint16 Rate READ rate WRITE setRate)
    Q_PROPERTY(qint16 Voice READ voice WRITE setVoice)

public:
    explicit LineObject(const QDBusConnection& bus);
    ~LineObject() override;

    ClsTapi& line() { return *m_line; }

    // How the line is now, kept as it writes it: answered at once from any thread, even
    // while the line is busy with a greeting or a recording.
    struct Report {
        QString line;    // the line's name; empty until it has written a status
        QString status;  // its status cell
        QString message; // the last message it had for the user
    };
    Report report() const;
    // Called on the line's thread with each status the line writes (its name, the text).
    void onStatus(std::function<void(const QString&, const QString&)> listener)
    {
        m_onStatus = std::move(listener);
    }
    // Called on the line's thread with each call or fax the line has logged.
    void onLogged(std::function<void(const LoggedEvent&)> listener)
    {
        m_onLogged = std::move(listener);
    }
    // Called on the line's thread when a fax exchange on the line has ended.
    using FaxEndedListener =
        std::function<void(const QString& line, const QString& outcome, const QVariantMap& facts)>;
    void onFaxEnded(FaxEndedListener listener) { m_onFaxEnded = std::move(listener); }

    QString getMessage() const { return m_line->getMessage(); }
    void setGetMessage(const QString&) {} // accepted and ignored
    QString getAddress() const { return m_line->getAddress(); }
    qint16 rings() const { return m_line->settings().rings; }
    void setRings(qint16 v) { m_line->settings().rings = v; }
    QString playFile() const { return m_line->settings().playFile; }
    void setPlayFile(const QString& v) { m_line->settings().playFile = v; }
    qint16 recordTime() const { return m_line->settings().recordTime; }
    void setRecordTime(qint16 v) { m_line->settings().recordTime = v; }
    QString playType() const { return m_line->settings().playType; }
    void setPlayType(const QString& v) { m_line->settings().playType = v; }
    QString playMessage() const { return m_line->settings().playMessage; }
    // A text longer than any line speaks is refused, and the line says so; the greeting
    // stays as it was.
    void setPlayMessage(const QString& v);
    qint16 volume() const { return m_line->settings().volume; }
    void setVolume(qint16 v) { m_line->settings().volume = v; }
    qint16 rate() const { return m_line->settings().rate; }
    void setRate(qint16 v) { m_line->settings().rate = v; }
    qint16 voice() const { return m_line->settings().voice; }
    void setVoice(qint16 v) { m_line->settings().voice = v; }

public Q_SLOTS:
    void RegisterNotification1();
    void gobjTapiWithEvents_Event(int TapiEvent, const QString& pEvent);
    void InitTAPI(const QString& sAddress, const QString& gridService,
                  const QDBusObjectPath& gridPath, qint16 iRowNo, const QString& sClAppPt);
    void playByTTS(int media, int mediaformat, const QString& sPath);
    void UnRegisterCallNotifications1();
    void playTextByTTS(int media, int mediaformat, const QString& sText);
    void FnSendFax(const QString& sNumber, const QString& sFileName, const QString& sDirToSave,
                   const QString& sAddressName, const QString& gridService,
                   const QDBusObjectPath& gridPath);
    void FnReceiveFax(const QString& sAddressName, const QString& sDirSave, qint16 iRows,
                      qint16 iPrint, const QString& gridService, const QDBusObjectPath& gridPath,
                      const QString& sClAppPt);

Q_SIGNALS:
    void test2();
    void MessageBox(const QString& text, const QString& title);

private:
    void messageBox(const QString& text, const QString& title) override;
    void raiseTest2() override;
    void statusWritten(const QString& line, const QString& text) override;
    void logged(const LoggedEvent& event) override;
    void faxEnded(const QString& line, const QString& outcome, const QVariantMap& facts) override;
    void reply(const Status& status);
    StatusGrid grid(const QString& service, const QDBusObjectPath& path) const;

    QDBusConnection m_bus;
    mutable QMutex m_reportMutex;
    Report m_report; // under m_reportMutex
    std::function<void(const QString&, const QString&)> m_onStatus;
    std::function<void(const LoggedEvent&)> m_onLogged;
    FaxEndedListener m_onFaxEnded;
    std::unique_ptr<ClsTapi> m_line;
};

} // namespace orvane
