#include "desktop/lines/frmAddress.h"

#include "desktop/common/Controls.h"

#include "desktop/lines/VoiceLineList.h"

#include "desktop/common/AnsweringSettings.h"
#include "desktop/common/MSFlexGrid.h"
#include "desktop/common/Messages.h"
#include "desktop/common/ProgramFolder.h"
#include "desktop/common/Twips.h"
#include "desktop/run/DesktopRun.h"
#include "desktop/run/LineServer.h"
#include "line_server/client/AnsweringConf.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvane {

frmAddress::frmAddress(DesktopRun& run, QWidget* parent)
    : QDialog(parent)
    , m_run(run)
{
    setObjectName(QStringLiteral("frmAddress"));
    setWindowTitle(tr("Select Telephony Line Devices :"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    listAddress = new QListWidget(this);
    listAddress->setObjectName(QStringLiteral("listAddress"));
    listAddress->setSelectionMode(QAbstractItemView::MultiSelection);
    listAddress->setGeometry(twips::px(120), twips::px(120), twips::px(4680), twips::px(2460));
    nameForReaders(listAddress, tr("Telephony Line Devices"),
                   tr("The lines to start; choose one or more"));
    cmdOk = new QPushButton(tr("&Ok"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setGeometry(twips::px(2160), twips::px(2760), twips::px(1215), twips::px(375));
    cmdCancel = new QPushButton(tr("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(twips::px(3585), twips::px(2760), twips::px(1215), twips::px(375));
    // The list takes the room as the window grows; the first size is the described one.
    for (QPushButton* b : {cmdOk, cmdCancel})
        b->setMinimumWidth(b->width());
    auto* column = new QVBoxLayout(this);
    column->addWidget(listAddress, 1);
    column->addLayout(buttonRow({cmdOk, cmdCancel}));
    resizeToFirstSize(this, QSize(twips::px(4920), twips::px(3330)));
    connect(cmdOk, &QPushButton::clicked, this, &frmAddress::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmAddress::cmdCancel_Click);

    // Loading: the window's own telephony object, and the list.
    m_tapi = createTelephony();
    FillLineList();
}

frmAddress::~frmAddress()
{
    if (m_tapi)
        m_tapi->shutdown();
}

void frmAddress::markStandingLines()
{
    // The lines the line server answers by itself: choosing one here is refused by the
    // server (a line is answered by one at a time), so the list says so beforehand.
    const Result<answering::AnsweringFile> file = answering::readAnsweringFile();
    if (!file)
        return;
    for (const answering::StandingLine& line : file->lines) {
        for (QListWidgetItem* item : listAddress->findItems(line.line, Qt::MatchExactly)) {
            item->setToolTip(tr("Answers in the background (answering.conf); the "
                                "line server answers it by itself."));
            QFont font = item->font();
            font.setItalic(true);
            item->setFont(font);
        }
    }
}

void frmAddress::FillLineList()
{
    Status s = m_tapi->initialize();
    Result<QList<TelephonyAddress>> addresses =
        s ? m_tapi->addresses() : Result<QList<TelephonyAddress>>(s);
    if (addresses)
        m_addresses = addresses.value();
    fillVoiceLineList(listAddress, m_addresses);
    markStandingLines();
    if (!addresses) {
        qWarning().noquote() << "orvane: cannot list the lines:" << addresses.status().toString();
        // The reason (a mistake in lines.conf, with its line number) is the user's to see.
        Messages::inform(tr("Error initializing IVR."), tr("Answering Machine"),
                         addresses.status().description());
    }
    // Told once a run: the lines work all the same, and the user knows what to do.
    static bool warned = false;
    const QStringList warnings = telephonyWarnings();
    if (!warned && !warnings.isEmpty()) {
        warned = true;
        Messages::warn(warnings.join(QStringLiteral("\n\n")), tr("Answering Machine"));
    }
}

QString frmAddress::PopUp(const QString& sBtnName)
{
    cmdOk->setEnabled(sBtnName != QLatin1String("Device"));
    m_result.clear();
    exec();
    return m_result;
}

void frmAddress::cmdCancel_Click()
{
    m_result = QStringLiteral("Cancel");
    reject();
}

void frmAddress::cmdOk_Click()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_result = QStringLiteral("Ok");
    MSFlexGrid* grid = m_run.statusGrid();
    QList<LineHandle>& gaTapiLines = m_run.gaTapiLines;
    m_run.ReleaseLines();
    LineServer& server = m_run.lineServer();
    if (listAddress->selectedItems().size() > 0)
        server.ensureRunning();

    int k = 0, j = 0;
    for (int e = 0; e < listAddress->count(); ++e) {
        QListWidgetItem* entry = listAddress->item(e);
        if (!entry->isSelected())
            continue;
        m_selectionMark = true;
        const int index = entry->data(Qt::UserRole).toInt();
        if (index == -1) {
            QApplication::restoreOverrideCursor();
            Messages::inform(tr("No Telephony Devices Found"), tr("IVR"));
            QApplication::setOverrideCursor(Qt::WaitCursor);
            continue;
        }
        grid->setTextMatrix(0, 2, tr("Status (Answering Machine) "));
        gaTapiLines.resize(k + 2);
        const TelephonyAddress& gobjLineAddress = m_addresses.at(index - 1);
        Result<LineHandle> line = server.createLine();
        grid->setRows(j + 2);
        bool failed = !line;
        if (line) {
            gaTapiLines[k] = line.value();
            const LineHandle& l = gaTapiLines[k];
            failed = !l.InitTAPI(gobjLineAddress.name, m_run.statusGridExport(), qint16(j + 1),
                                 programfolder::path());
            const AnsweringSettingsRecord& s = AnsweringSettings;
            failed = failed || !l.setVoice(s.Voice) || !l.setRate(s.Rate) ||
                     !l.setVolume(s.Volume) || !l.setRings(s.Rings) || !l.setPlayType(s.PlayType) ||
                     !l.setPlayFile(s.PlayFile) || !l.setPlayMessage(s.PlayMessage) ||
                     !l.setRecordTime(s.RecordTime);
            Result<QString> message = l.getMessage();
            failed = failed || !message || message.value() == QLatin1String("ERROR");
        }
        if (!line) {
            // No server to make the line: the row says so, as the server's rows would.
            grid->setTextMatrix(j + 1, 0, QString::number(j + 1));
            grid->setTextMatrix(j + 1, 1, gobjLineAddress.name);
            grid->setTextMatrix(j + 1, 2, QStringLiteral("Line Server Not Running ...."));
        }
        if (failed) {
            gaTapiLines[k].reset();
            gaTapiLines.resize(k + 1);
            --k;
        }
        ++k;
        ++j;
    }
    QApplication::restoreOverrideCursor();

    if (!m_selectionMark) {
        // Nothing started: closing the window now must not read as a Start that went well.
        m_result.clear();
        Messages::inform(tr("Select Telephony Device"), tr("IVR"));
        return;
    }
    m_tapi->shutdown();
    m_tapi.reset();
    accept();
}

} // namespace orvane
