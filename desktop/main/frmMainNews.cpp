// The main window and the line server's news: a notification's Play and Show open the
// recorded calls window on the call, an open list refreshes, the status grid's row of a
// line tells its last caller, and the tray counts the messages not yet heard.

#include "desktop/main/frmMain.h"

#include "database/DateTimeText.h"
#include "desktop/records/frmRecordList.h"
#include "desktop/run/DesktopRun.h"
#include "desktop/run/MessageNews.h"
#include "platform/notify/EventText.h"

#include <QDesktopServices>
#include <QPainter>
#include <QUrl>

namespace orvane {

namespace {
// The program's icon with a dot in its corner: messages are waiting.
QIcon markedIcon(const QIcon& icon)
{
    QIcon marked;
    for (const int side : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap = icon.pixmap(side, side);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::white, qMax(1, side / 16)));
        painter.setBrush(QColor(0xd0, 0x21, 0x21));
        const int dot = side * 7 / 16;
        painter.drawEllipse(QRect(side - dot - 1, 1, dot, dot));
        painter.end();
        marked.addPixmap(pixmap);
    }
    return marked;
}
} // namespace

void frmMain::followNews()
{
    MessageNews& news = m_run.news();
    connect(&news, &MessageNews::messageLogged, this,
            [this](const QString& file, const QString& line, const QString& caller,
                   const QDateTime& time, int seconds) {
                noteLastCall(line, caller, time, seconds);
                if (m_records)
                    m_records->callLogged(file, time);
            });
    connect(&news, &MessageNews::faxEnded, this, &frmMain::noteLastFax);
    connect(&news, &MessageNews::playRequested, this,
            [this](const QString& file) { showCall(file, true); });
    connect(&news, &MessageNews::showRequested, this,
            [this](const QString& file) { showCall(file, false); });
    connect(&news, &MessageNews::openFaxRequested, this,
            [](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); });
    connect(&news, &MessageNews::unheardChanged, this, &frmMain::showUnheard);
    showUnheard(news.unheard());
}

void frmMain::showCall(const QString& file, bool play)
{
    openRecordedCalls(false);
    m_records->showCall(file, play);
}

void frmMain::showUnheard(int count)
{
    const QString waiting = MessageNews::unheardText(count);
    m_trayToolTip =
        waiting.isEmpty() ? QStringLiteral("Orvane") : QStringLiteral("Orvane\n") + waiting;
    if (!m_tray)
        return;
    m_tray->setToolTip(m_trayToolTip);
    m_tray->setIcon(count > 0 ? markedIcon(windowIcon()) : windowIcon());
}

void frmMain::noteLastCall(const QString& line, const QString& caller, const QDateTime& time,
                           int seconds)
{
    QString note =
        tr("Last message: %1, %2")
            .arg(caller.isEmpty() ? tr("caller unknown") : caller, datetext::general(time));
    if (seconds >= 0)
        note += QStringLiteral(" (%1)").arg(eventtext::lengthText(seconds));
    m_callNotes.insert(line, note);
    showRowNotes(line);
}

void frmMain::noteLastFax(const QString& line, const QString& outcome)
{
    m_faxNotes.insert(line, tr("Last fax: %1").arg(outcome));
    showRowNotes(line);
}

void frmMain::showRowNotes(const QString& line)
{
    QStringList notes;
    for (const QHash<QString, QString>* kind : {&m_callNotes, &m_faxNotes})
        if (const QString note = kind->value(line); !note.isEmpty())
            notes << note;
    // The row of the line in the status grid: its Device Name column.
    for (int row = 1; row < MSFlexGrid1->rows(); ++row)
        if (MSFlexGrid1->textMatrix(row, 1) == line)
            MSFlexGrid1->setRowNote(row, notes.join(QLatin1Char('\n')));
}

} // namespace orvane
