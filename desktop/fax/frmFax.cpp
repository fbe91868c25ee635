#include "desktop/fax/frmFax.h"

#include "database/RecieveFaxTable.h"
#include "desktop/common/Controls.h"
#include "desktop/common/ListGrid.h"
#include "desktop/common/Messages.h"
#include "desktop/common/ProgramFolder.h"
#include "desktop/common/Twips.h"
#include "desktop/fax/FolderChooser.h"
#include "desktop/lines/VoiceLineList.h"
#include "desktop/run/DesktopRun.h"
#include "desktop/run/LineServer.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace orvane {

namespace {

const char* const kTitle = QT_TRANSLATE_NOOP("orvane::frmFax", "Answering Machine");

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

QListWidget* makeLineList(QWidget* parent, const char* name)
{
    auto* list = new QListWidget(parent);
    list->setObjectName(QLatin1String(name));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    return list;
}

FaxOpener& opener()
{
    static FaxOpener o;
    return o;
}

// The drive list over the folder list on the left; the box and the folder dialog's button
// beside the drive list.
QGridLayout* chooserLayout(FolderChooser& chooser)
{
    auto* grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(chooser.drives(), 0, 0);
    grid->addWidget(chooser.box(), 0, 1);
    grid->addWidget(chooser.dialogButton(), 0, 2);
    grid->addWidget(chooser.folders(), 1, 0);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(1, 1);
    return grid;
}

} // namespace

void setFaxOpener(FaxOpener o)
{
    opener() = std::move(o);
}

frmFax::frmFax(DesktopRun& run, QWidget* parent)
    : QDialog(parent)
    , m_run(run)
{
    setObjectName(QStringLiteral("frmFax"));
    setWindowTitle(tr("Fax"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    const int gap = twips::px(120);

    SSTab1 = new QTabWidget(this);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    auto* send = new QWidget;
    auto* receive = new QWidget;
    SSTab1->addTab(send, tr("Send"));
    SSTab1->addTab(receive, tr("Recieve"));

    // "Send": the number and the file beside their captions, the lines, the folder.
    auto* label1 = makeLabel(send, "Label1", tr("Phone Number "));
    txtNum = new QLineEdit(send);
    txtNum->setObjectName(QStringLiteral("txtNum"));
    txtNum->setMaxLength(25);
    label1->setBuddy(txtNum);
    auto* label2 = makeLabel(send, "Label2", tr("File To Send "));
    txtFileSend = new QLineEdit(send);
    txtFileSend->setObjectName(QStringLiteral("txtFileSend"));
    label2->setBuddy(txtFileSend);
    cmdSelectFile = new QPushButton(tr("...."), send);
    cmdSelectFile->setObjectName(QStringLiteral("cmdSelectFile"));
    cmdSelectFile->setFixedWidth(twips::px(540));
    // Its caption reads as dots.
    nameForReaders(cmdSelectFile, tr("Choose the file to send"),
                   tr("Opens a file dialog for the document to fax"));
    auto* label6 = makeLabel(send, "Label6", tr("Device Name"));
    listAddress = makeLineList(send, "listAddress");
    label6->setBuddy(listAddress);
    nameForReaders(listAddress, tr("Device Name"), tr("The line that sends the fax"));
    makeLabel(send, "Label3", tr("Directory Where Send Files will be Saved "));
    m_sendFolder = new FolderChooser(send, "Drive1", "Dir1", "txtDir", "cmdDir");
    m_sendFolder->nameForReaders(tr("Directory Where Send Files will be Saved"));
    {
        auto* grid = new QGridLayout(send);
        grid->setContentsMargins(gap, gap, gap, gap);
        grid->addWidget(label1, 0, 0);
        grid->addWidget(txtNum, 0, 1);
        grid->addWidget(label2, 1, 0);
        grid->addWidget(txtFileSend, 1, 1);
        grid->addWidget(cmdSelectFile, 1, 2);
        grid->addWidget(label6, 2, 0, 1, 3);
        grid->addWidget(listAddress, 3, 0, 1, 3);
        grid->addWidget(send->findChild<QLabel*>(QStringLiteral("Label3")), 4, 0, 1, 3);
        grid->addLayout(chooserLayout(*m_sendFolder), 5, 0, 1, 3);
        grid->setRowStretch(3, 1200);
        grid->setRowStretch(5, 1300);
        grid->setColumnStretch(1, 1);
    }

    // "Recieve": the lines, the folder, printing, and the faxes received so far.
    auto* label5 = makeLabel(receive, "Label5", tr("Device Name"));
    ListAddress1 = makeLineList(receive, "ListAddress1");
    label5->setBuddy(ListAddress1);
    nameForReaders(ListAddress1, tr("Device Name"), tr("The line that receives faxes"));
    auto* label4 = makeLabel(receive, "Label4", tr("Directory Where Receive Files will be Saved "));
    m_receiveFolder = new FolderChooser(receive, "Drive2", "Dir2", "txtDirRec", "cmdDirRec");
    m_receiveFolder->nameForReaders(tr("Directory Where Receive Files will be Saved"));
    // Received faxes go to the program folder's Faxes/ unless the user chooses another:
    // the folder the program happened to be started in is nobody's place for them.
    const QString faxes = QDir(programfolder::path()).filePath(QStringLiteral("Faxes"));
    if (QDir().mkpath(faxes))
        m_receiveFolder->setFolder(faxes);
    Check2 = new QCheckBox(receive);
    Check2->setObjectName(QStringLiteral("Check2"));
    auto* label7 = makeLabel(receive, "Label7", tr("Automatically Print Fax Upon Arrival  "));
    label7->setBuddy(Check2);
    Frame1 = new QGroupBox(tr("Received Fax"), receive);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    MSFlexGrid1 = new MSFlexGrid(Frame1);
    MSFlexGrid1->setObjectName(QStringLiteral("MSFlexGrid1"));
    nameForReaders(MSFlexGrid1, tr("Received Fax"), tr("The faxes received so far"));
    MSFlexGrid1->horizontalHeader()->setStretchLastSection(true); // the file name takes the room
    cmdDelete = new QPushButton(tr("Delete"), Frame1);
    cmdDelete->setObjectName(QStringLiteral("cmdDelete"));
    cmdDeleteAll = new QPushButton(tr("Delete All"), Frame1);
    cmdDeleteAll->setObjectName(QStringLiteral("cmdDeleteAll"));
    {
        auto* column = new QVBoxLayout(Frame1);
        column->addWidget(MSFlexGrid1, 1);
        column->addLayout(buttonRow({cmdDelete, cmdDeleteAll}));

        auto* grid = new QGridLayout(receive);
        grid->setContentsMargins(gap, gap, gap, gap);
        grid->addWidget(label5, 0, 0, 1, 2);
        grid->addWidget(ListAddress1, 1, 0, 1, 2);
        grid->addWidget(label4, 2, 0, 1, 2);
        grid->addLayout(chooserLayout(*m_receiveFolder), 3, 0, 1, 2);
        grid->addWidget(Check2, 4, 0);
        grid->addWidget(label7, 4, 1);
        grid->addWidget(Frame1, 5, 0, 1, 2);
        grid->setColumnStretch(1, 1);
        grid->setRowStretch(1, 900);
        grid->setRowStretch(3, 800);
        grid->setRowStretch(5, 1740);
    }

    cmdOkR = makeDialogButton(this, "cmdOkR", tr("&Ok"), twips::px(1215));
    cmdCancelR = makeDialogButton(this, "cmdCancelR", tr("&Cancel"), twips::px(1215));
    {
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(gap, gap, gap, gap);
        column->addWidget(SSTab1, 1);
        column->addLayout(buttonRow({cmdOkR, cmdCancelR}));
    }
    resizeToFirstSize(this, QSize(twips::px(6720), twips::px(6360)));

    m_list = new ListGrid(MSFlexGrid1, {tr("SNo."), tr("File Name")}, {420, 4730});
    connect(cmdSelectFile, &QPushButton::clicked, this, &frmFax::cmdSelectFile_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmFax::cmdDelete_Click);
    connect(cmdDeleteAll, &QPushButton::clicked, this, &frmFax::cmdDeleteAll_Click);
    connect(MSFlexGrid1, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { openFax(row + 1); });
    // Return and Delete on the list act on its chosen fax; without the filter Return would
    // press the window's default button instead.
    MSFlexGrid1->installEventFilter(this);
    connect(cmdOkR, &QPushButton::clicked, this, &frmFax::cmdOkR_Click);
    connect(cmdCancelR, &QPushButton::clicked, this, &frmFax::cmdCancelR_Click);

    // Loading: the lines, the folders (at the current folder), the received faxes.
    SSTab1->setCurrentIndex(0);
    FillLineLists();
    m_list->writeHeaders();
    FillFaxGrid();
}

frmFax::~frmFax() = default;

QString frmFax::PopUp()
{
    m_result.clear();
    if (parentWidget()) // centred over the owner
        move(parentWidget()->geometry().center() - rect().center());
    exec();
    return m_result;
}

void frmFax::FillLineLists()
{
    // The window's own telephony object lives only while the lists are filled.
    std::unique_ptr<Telephony> tapi = createTelephony();
    Status s = tapi->initialize();
    Result<QList<TelephonyAddress>> addresses =
        s ? tapi->addresses() : Result<QList<TelephonyAddress>>(s);
    for (QListWidget* list : {listAddress, ListAddress1})
        fillVoiceLineList(list, addresses ? addresses.value() : QList<TelephonyAddress>());
    if (s)
        tapi->shutdown();
    if (!addresses) {
        qWarning().noquote() << "orvane: cannot list the lines:" << addresses.status().toString();
        Messages::inform(
            tr("The telephone lines cannot be listed: %1").arg(addresses.status().description()),
            tr(kTitle));
    }
}

void frmFax::FillFaxGrid()
{
    QList<QStringList> rows;
    Database db;
    Status s = db.OpenDatabase(programfolder::path());
    if (s) {
        Result<QStringList> faxes = recievefax::listAll(db, programfolder::path());
        if (faxes) {
            for (const QString& path : faxes.value())
                rows.append({path});
        } else {
            s = faxes.status();
        }
    }
    db.CloseDatabase();
    if (!s)
        Messages::inform(tr("The received faxes cannot be read: %1").arg(s.description()),
                         tr(kTitle));
    m_list->fill(rows);
}

void frmFax::cmdSelectFile_Click()
{
    const QString chosen = QFileDialog::getOpenFileName(
        this, QString(), QString(), tr("Text( *.txt);;Word (*.doc);;Word (*.docx);;PDF (*.pdf)"));
    if (!chosen.isEmpty())
        m_lastChosen = chosen;
    // After a cancel the box shows the last file chosen (empty before one was).
    txtFileSend->setText(m_lastChosen);
}

void frmFax::changeFaxList(const std::function<Status(Database&)>& change, const QString& failure)
{
    Database db;
    Status s = db.OpenDatabase(programfolder::path());
    if (s)
        s = change(db);
    db.CloseDatabase();
    if (!s)
        Messages::inform(failure.arg(s.description()), tr(kTitle));
    FillFaxGrid();
}

void frmFax::cmdDelete_Click()
{
    if (!m_list->takeRowSelected(tr(kTitle)))
        return;
    MSFlexGrid1->setCol(0);
    const QString serial = m_list->current(0);
    if (serial.isEmpty()) {
        Messages::inform(tr("No Records To Delete"), tr(kTitle));
        return;
    }
    if (!Messages::confirm(tr("Are You Sure You want to Delete SNo -> ") + serial,
                           Messages::programTitle()))
        return;
    MSFlexGrid1->setCol(1);
    const QString path = m_list->current(1);
    QFile::remove(path); // a file already gone does not keep its row
    changeFaxList([&](Database& db) { return recievefax::remove(db, programfolder::path(), path); },
                  tr("The fax could not be removed from the list: %1"));
}

void frmFax::cmdDeleteAll_Click()
{
    MSFlexGrid1->setCol(0);
    if (m_list->current(0).isEmpty()) {
        Messages::inform(tr("No Records To Delete"), tr(kTitle));
        return;
    }
    if (!Messages::confirm(tr("Are You Sure You want to Delete All Records"),
                           Messages::programTitle()))
        return;
    for (int n = 1; n < MSFlexGrid1->rows(); ++n)
        QFile::remove(MSFlexGrid1->textMatrix(n, 1));
    changeFaxList([](Database& db) { return recievefax::removeAll(db); },
                  tr("The list of faxes could not be emptied: %1"));
}

bool frmFax::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == MSFlexGrid1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // The plain keys only (Enter of the keypad too).
        if ((key->modifiers() & ~Qt::KeyboardModifiers(Qt::KeypadModifier)) != Qt::NoModifier)
            return QDialog::eventFilter(watched, event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            // The row shown chosen; none is until the user chooses one.
            if (MSFlexGrid1->selectedItems().isEmpty())
                Messages::inform(tr("Select Row Please"), tr(kTitle));
            else
                openFax(MSFlexGrid1->currentRow() + 1);
            return true;
        }
        if (key->key() == Qt::Key_Delete) {
            cmdDelete_Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmFax::openFax(int row)
{
    const QString path = MSFlexGrid1->textMatrix(row, 1);
    if (MSFlexGrid1->textMatrix(row, 0).isEmpty() || path.isEmpty()) {
        Messages::inform(tr("No Records To Open"), tr(kTitle));
        return;
    }
    if (!QFileInfo(path).isFile()) {
        Messages::inform(tr("The fax %1 is no longer there: it was moved or deleted.").arg(path),
                         tr(kTitle));
        return;
    }
    const QUrl url = QUrl::fromLocalFile(path);
    const bool opened = opener() ? opener()(url) : QDesktopServices::openUrl(url);
    if (!opened)
        Messages::inform(
            tr("The fax %1 cannot be shown: no program on this computer opens it.").arg(path),
            tr(kTitle));
}

void frmFax::cmdCancelR_Click()
{
    m_result = QStringLiteral("Cancel");
    reject();
}

bool frmFax::checksPass()
{
    const auto fail = [](const QString& text) {
        Messages::inform(text, tr(kTitle));
        return false;
    };
    const bool onlyPlaceholder = listAddress->item(0)->data(Qt::UserRole).toInt() == -1;
    if (SSTab1->currentIndex() == 0) {
        if (listAddress->selectedItems().isEmpty())
            return fail(tr("Select Device Name"));
        if (txtNum->text().trimmed().isEmpty()) {
            fail(tr("Enter Number Please"));
            txtNum->setFocus();
            return false;
        }
        if (txtFileSend->text().trimmed().isEmpty())
            return fail(tr("Enter File To Send"));
        if (onlyPlaceholder)
            return fail(tr("No Device Found , Cannot Send Fax"));
        return true;
    }
    if (ListAddress1->selectedItems().isEmpty())
        return fail(tr("Select Device Name"));
    if (onlyPlaceholder)
        return fail(tr("No Device Found , Cannot Receive Fax"));
    return true;
}

void frmFax::cmdOkR_Click()
{
    if (!checksPass())
        return;
    if (SSTab1->currentIndex() == 0)
        submitSend();
    else
        submitReceive();
}

void frmFax::submitFailed(const QString& why)
{
    qWarning().noquote() << "orvane: the fax job could not be started:" << why;
    Messages::inform(tr("Unable To Send Fax"), tr(kTitle));
    // No job of a submission that failed runs on: every object it made is let go.
    m_run.ReleaseLines();
    // The main window was disabled for the job; without one it must be usable again.
    emit ownerEnabled(true);
}

void frmFax::submitSend()
{
    const QString number = txtNum->text().trimmed();
    const QString document = txtFileSend->text().trimmed();
    const QString folder = m_sendFolder->box()->text().trimmed();
    const QString line = listAddress->selectedItems().first()->text();
    m_run.statusGrid()->setTextMatrix(0, 2, tr("Status ( Fax Machine - Send )"));
    emit ownerEnabled(false);
    done(QDialog::Accepted);

    QList<LineHandle>& gaTapiLines = m_run.gaTapiLines;
    LineServer& server = m_run.lineServer();
    server.ensureRunning();
    gaTapiLines.resize(2);
    Result<LineHandle> job = server.createLine();
    if (!job) {
        submitFailed(job.status().toString());
        return;
    }
    gaTapiLines[0] = job.value();
    if (Status s =
            gaTapiLines[0].FnSendFax(number, document, folder, line, &m_run.statusGridExport());
        !s) {
        submitFailed(s.toString());
        return;
    }
    m_run.gsFaxMode = QStringLiteral("Send");
    m_result = QStringLiteral("Ok");
}

void frmFax::submitReceive()
{
    m_run.gsFaxMode = QStringLiteral("Rec");
    const qint16 print = Check2->isChecked() ? 1 : 2;
    MSFlexGrid* grid = m_run.statusGrid();
    grid->setTextMatrix(0, 2, tr("Status ( Fax Machine - Receive ) "));
    const QString folder = m_receiveFolder->box()->text().trimmed();
    QStringList names;
    for (int i = 0; i < ListAddress1->count(); ++i)
        if (ListAddress1->item(i)->isSelected())
            names << ListAddress1->item(i)->text();
    done(QDialog::Accepted);

    QList<LineHandle>& gaTapiLines = m_run.gaTapiLines;
    LineServer& server = m_run.lineServer();
    server.ensureRunning();
    for (int k = 0; k < names.size(); ++k) {
        gaTapiLines.resize(k + 2);
        if (grid->rows() < k + 2)
            grid->setRows(k + 2); // each line reports in its own row
        Result<LineHandle> job = server.createLine();
        if (!job) {
            submitFailed(job.status().toString());
            return;
        }
        gaTapiLines[k] = job.value();
        if (Status s =
                gaTapiLines[k].FnReceiveFax(names.at(k), folder, qint16(k + 1), print,
                                            &m_run.statusGridExport(), programfolder::path());
            !s) {
            submitFailed(s.toString());
            return;
        }
    }
    m_result = QStringLiteral("Ok");
}

} // namespace orvane
