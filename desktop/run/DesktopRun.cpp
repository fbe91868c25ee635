#include "desktop/run/DesktopRun.h"

#include "desktop/common/MSFlexGrid.h"
#include "desktop/run/BackgroundLines.h"
#include "desktop/run/LineServer.h"
#include "desktop/run/MessageNews.h"
#include "line_server/client/StatusGridExport.h"

#include <QDebug>
#include <QPointer>

namespace orvane {

// The puts of the lines, into whichever grid is shown (none while the main window is not
// there: the run may outlive it by a moment).
class DesktopRun::GridSink : public StatusGridSink {
public:
    void setRow(int row) override
    {
        if (m_taking && m_grid)
            m_grid->setRow(row);
    }
    void setTextMatrix(int row, int column, const QString& text) override
    {
        if (m_taking && m_grid)
            m_grid->setTextMatrix(row, column, text);
    }

    QPointer<MSFlexGrid> m_grid;
    bool m_taking = false;
};

DesktopRun::DesktopRun(QObject* parent)
    : QObject(parent)
    , m_lineServer(new LineServer(this))
    , m_background(new BackgroundLines(m_lineServer->client(), this))
    , m_gridSink(std::make_unique<GridSink>())
    , m_news(new MessageNews(m_lineServer->client().bus(), this))
{
    // Whenever the server comes (started here or found), what it answers by itself.
    connect(m_lineServer, &LineServer::appeared, m_background, &BackgroundLines::refresh);
    if (m_lineServer->running())
        m_background->refresh();
    m_gridExport =
        std::make_unique<StatusGridExport>(*m_gridSink, m_lineServer->client().bus(),
                                           QStringLiteral("/org/orvane/Orvane/StatusGrid"), this);
    if (Status s = m_gridExport->publish(); !s)
        qWarning().noquote() << "orvane:" << s.toString();
}

DesktopRun::~DesktopRun()
{
    ReleaseLines();
    gaTapiLines.clear();
}

void DesktopRun::ReleaseLines()
{
    for (qsizetype i = 0; i + 1 < gaTapiLines.size(); ++i)
        gaTapiLines[i].reset();
}

MSFlexGrid* DesktopRun::statusGrid() const
{
    return m_gridSink->m_grid;
}

void DesktopRun::showStatusIn(MSFlexGrid* grid)
{
    m_gridSink->m_grid = grid;
}

void DesktopRun::setTakingPuts(bool taking)
{
    m_gridSink->m_taking = taking;
}

} // namespace orvane
