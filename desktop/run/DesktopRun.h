#pragma once

// What one run of the desktop program owns: the line objects it started (or a fax job's),
// the kind of the fax job last submitted, the line server, and the status grid the lines
// write into, as exported on the bus. main() makes it before the main window and hands it
// to every window that starts or stops lines, so that none of them has to reach the main
// window for them.
//
// Thread: the user-interface thread.

#include "line_server/client/LineHandle.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>

namespace orvane {

class BackgroundLines;
class LineServer;
class MessageNews;
class MSFlexGrid;
class StatusGridExport;

class DesktopRun : public QObject {
    Q_OBJECT

public:
    explicit DesktopRun(QObject* parent = nullptr);
    // Every line object still held is released before the line server goes.
    ~DesktopRun() override;

    // One line object per started line (or the fax job's objects); the last element is
    // always an empty spare. An empty handle is a released slot.
    QList<LineHandle> gaTapiLines;
    // "Send" or "Rec": the kind of the fax job last submitted.
    QString gsFaxMode;

    // Releases every line object of gaTapiLines (slots 0 to the upper bound - 1).
    void ReleaseLines();

    LineServer& lineServer() { return *m_lineServer; }
    // The lines the server answers by itself, with their status.
    BackgroundLines& backgroundLines() { return *m_background; }
    // The line server's news of calls logged and faxes received, and the unheard count.
    MessageNews& news() { return *m_news; }
    // The grid as the line objects are given it.
    StatusGridExport& statusGridExport() { return *m_gridExport; }

    // The grid the lines write into: the main window's, once it has shown it here. The
    // windows that start lines write their headers and rows into it too.
    MSFlexGrid* statusGrid() const;
    void showStatusIn(MSFlexGrid* grid);
    // The lines' puts reach the grid only while a Start runs: a line that was released
    // goes on writing for a moment, and what it writes then would stand in the idle grid
    // as if it were news.
    void setTakingPuts(bool taking);

private:
    class GridSink;

    LineServer* m_lineServer;
    BackgroundLines* m_background;
    std::unique_ptr<GridSink> m_gridSink;
    std::unique_ptr<StatusGridExport> m_gridExport;
    MessageNews* m_news;
};

} // namespace orvane
