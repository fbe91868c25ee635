// The call-flow tree of the main window: the default flow, and editing its steps.

#include "desktop/common/AnsweringSettings.h"
#include "desktop/common/Artwork.h"
#include "desktop/dialogs/NumberDialog.h"
#include "desktop/main/frmMain.h"

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTreeWidget>

namespace orvane {

namespace {

// Positions in the tree's image list.
constexpr int kCollapsed = 3;
constexpr int kExpanded = 5;
constexpr int kPlayImage = 6;
constexpr int kAnswerImage = 22;
constexpr int kRingsImage = 25;
constexpr int kRecordImage = 30;
constexpr int kKeyRole = Qt::UserRole;

QString ringsText()
{
    return QCoreApplication::translate("orvane::frmMain", "Rings - %1")
        .arg(AnsweringSettings.Rings);
}

QString recordText()
{
    return QCoreApplication::translate("orvane::frmMain", "Record File - %1 sec")
        .arg(AnsweringSettings.RecordTime);
}

} // namespace

QString frmMain::playNodeText()
{
    if (AnsweringSettings.PlayType == QLatin1String("FILE"))
        return tr("Play File - %1").arg(AnsweringSettings.PlayFile);
    return tr("Play Message - %1").arg(AnsweringSettings.PlayMessage);
}

void frmMain::BuildDefaultFlow()
{
    using artwork::Glyph;
    m_treeImages = {{kCollapsed, artwork::icon(Glyph::FolderClosed)},
                    {kExpanded, artwork::icon(Glyph::FolderOpen)},
                    {kPlayImage, artwork::icon(Glyph::Play)},
                    {kAnswerImage, artwork::icon(Glyph::Handset)},
                    {kRingsImage, artwork::icon(Glyph::Bell)},
                    {kRecordImage, artwork::icon(Glyph::Tape)}};
    auto node = [this](QTreeWidgetItem* parent, const QString& key, const QString& text,
                       int image) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(treeViewFun);
        item->setText(0, text);
        item->setData(0, kKeyRole, key);
        item->setIcon(0, m_treeImages.value(image));
        return item;
    };
    QTreeWidgetItem* begin = node(nullptr, QStringLiteral("kBegin"), tr("Begin"), kCollapsed);
    node(nullptr, QStringLiteral("kEnd"), tr("End"), kCollapsed);
    const QString n = QString::number(iNodeNo);
    const QList<std::tuple<QString, QString, int>> children{
        {QStringLiteral("BChildRing") + n, tr("Rings - %1").arg(3), kRingsImage},
        {QStringLiteral("BChildAns") + n, tr("Answer"), kAnswerImage},
        {QStringLiteral("BChildPlay") + n, tr("Play File - %1").arg(sGreetingFile), kPlayImage},
        {QStringLiteral("BChildRec") + n, tr("Record File - %1 sec").arg(5), kRecordImage},
    };
    for (const auto& [key, text, image] : children) {
        QTreeWidgetItem* child = node(begin, key, text, image);
        treeViewFun->scrollToItem(child); // makes it visible: "Begin" expands
        begin->setExpanded(true);
        treeViewFun->setCurrentItem(child);
    }
    ++iNodeNo;
    treeViewFun->setCurrentItem(begin->child(0)); // the tree's third node: the rings

    connect(treeViewFun, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* item) { item->setIcon(0, m_treeImages.value(kExpanded)); });
    connect(treeViewFun, &QTreeWidget::itemCollapsed, this,
            [this](QTreeWidgetItem* item) { item->setIcon(0, m_treeImages.value(kCollapsed)); });
    begin->setIcon(0, m_treeImages.value(kExpanded));
    connect(treeViewFun, &QTreeWidget::itemDoubleClicked, this, [this] { EditFlowNode(); });
    connect(mTProp, &QAction::triggered, this, &frmMain::EditFlowNode);
    // The tree menu opens on the press of the right button, and acts on the node selected
    // before it: the press must not select the node under the mouse.
    treeViewFun->viewport()->installEventFilter(this);
    // From the keyboard: Return edits the selected step, the menu key and Shift+F10 open
    // the tree menu at it.
    treeViewFun->installEventFilter(this);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == treeViewFun && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            EditFlowNode();
            return true;
        }
        if (key->key() == Qt::Key_Menu ||
            (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier)) {
            const QTreeWidgetItem* selected = treeViewFun->currentItem();
            const QRect at = selected ? treeViewFun->visualItemRect(selected) : QRect();
            treeMenuRequested(treeViewFun->viewport()->mapToGlobal(at.center()));
            return true;
        }
    }
    if (watched == treeViewFun->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton) {
            treeMenuRequested(mouse->globalPosition().toPoint());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::treeMenuRequested(const QPoint& globalPosition)
{
    if (bRunning)
        return;
    const QTreeWidgetItem* selected = treeViewFun->currentItem();
    const QString key = selected ? selected->data(0, kKeyRole).toString() : QString();
    mTProp->setEnabled(!key.contains(QLatin1String("BChildAns")));
    mTree->popup(globalPosition);
}

QTreeWidgetItem* frmMain::nodeWithKey(const QString& part) const
{
    for (QTreeWidgetItemIterator it(treeViewFun); *it; ++it)
        if ((*it)->data(0, kKeyRole).toString().contains(part))
            return *it;
    return nullptr;
}

void frmMain::refreshPlayNode()
{
    if (QTreeWidgetItem* play = nodeWithKey(QStringLiteral("ChildPlay")))
        play->setText(0, playNodeText());
}

void frmMain::EditFlowNode()
{
    if (bRunning)
        return;
    QTreeWidgetItem* node = treeViewFun->currentItem();
    if (!node)
        return;
    const QString key = node->data(0, kKeyRole).toString();
    if (key.contains(QLatin1String("ChildPlay"))) {
        openRecordMessage(); // sets the hourglass, and writes the Play node when it closes
    } else if (key.contains(QLatin1String("ChildRing"))) {
        openRingsDialog();
        node->setText(0, ringsText());
    } else if (key.contains(QLatin1String("ChildRec"))) {
        openRecordTimeDialog();
        node->setText(0, recordText());
    } else {
        return; // Begin, End and Answer have nothing to edit
    }
    unsetCursor();
}

void frmMain::openRingsDialog()
{
    setCursor(Qt::WaitCursor);
    frmRings dialog(this);
    dialog.exec();
}

void frmMain::openRecordTimeDialog()
{
    setCursor(Qt::WaitCursor);
    frmRecord dialog(this);
    dialog.exec();
}

} // namespace orvane
