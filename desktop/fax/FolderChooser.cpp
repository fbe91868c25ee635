#include "desktop/fax/FolderChooser.h"

#include "desktop/common/Messages.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QToolButton>

namespace orvane {

namespace {

// File systems that hold no files of the user's.
bool isSystemMount(const QStorageInfo& volume)
{
    static const QStringList types = {
        "proc",    "sysfs",   "devpts",   "tmpfs",     "devtmpfs",    "cgroup", "cgroup2",
        "mqueue",  "debugfs", "tracefs",  "pstore",    "securityfs",  "bpf",    "autofs",
        "overlay", "fusectl", "configfs", "hugetlbfs", "binfmt_misc", "nsfs"};
    const QString root = volume.rootPath();
    if (root == QLatin1String("/"))
        return false;
    return types.contains(QString::fromLatin1(volume.fileSystemType())) ||
           root.startsWith(QLatin1String("/proc")) || root.startsWith(QLatin1String("/sys")) ||
           root.startsWith(QLatin1String("/dev")) || root.startsWith(QLatin1String("/run")) ||
           root.startsWith(QLatin1String("/boot"));
}

} // namespace

namespace {
FolderChooser::FolderDialog& folderDialog()
{
    static FolderChooser::FolderDialog dialog;
    return dialog;
}
} // namespace

void FolderChooser::setFolderDialog(FolderDialog dialog)
{
    folderDialog() = std::move(dialog);
}

FolderChooser::FolderChooser(QWidget* parent, const char* driveName, const char* folderName,
                             const char* boxName, const char* buttonName)
    : QObject(parent)
{
    m_drives = new QComboBox(parent);
    m_drives->setObjectName(QLatin1String(driveName));
    m_folders = new QListWidget(parent);
    m_folders->setObjectName(QLatin1String(folderName));
    m_box = new QLineEdit(parent);
    m_box->setObjectName(QLatin1String(boxName));
    m_box->setReadOnly(true);
    m_button = new QToolButton(parent);
    m_button->setObjectName(QLatin1String(buttonName));
    m_button->setText(QStringLiteral("..."));
    m_button->setToolTip(tr("Choose a folder"));
    m_button->setAccessibleName(tr("Choose a folder"));
    connect(m_button, &QToolButton::clicked, this, &FolderChooser::chooseWithDialog);

    QStringList roots = {QStringLiteral("/"), QDir::homePath()};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && !isSystemMount(volume) && !roots.contains(volume.rootPath()))
            roots.append(volume.rootPath());
    for (const QString& root : std::as_const(roots))
        m_drives->addItem(root == QDir::homePath() ? tr("Home (%1)").arg(root) : root, root);

    connect(m_drives, &QComboBox::currentIndexChanged, this, &FolderChooser::Drive_Change);
    connect(m_folders, &QListWidget::itemActivated, this, &FolderChooser::folderActivated);
    setFolder(QDir::currentPath());
}

void FolderChooser::chooseWithDialog()
{
    auto* window = m_box->window();
    const QString title = m_purpose.isEmpty() ? tr("Choose a folder") : m_purpose;
    const QString chosen = folderDialog()
                               ? folderDialog()(window, title, m_folder)
                               : QFileDialog::getExistingDirectory(window, title, m_folder);
    if (!chosen.isEmpty() && !setFolder(chosen))
        Messages::warn(tr("The folder %1 cannot be read.").arg(chosen), window->windowTitle());
}

void FolderChooser::nameForReaders(const QString& purpose)
{
    m_purpose = purpose;
    m_drives->setAccessibleName(tr("Drive"));
    m_drives->setAccessibleDescription(purpose);
    m_folders->setAccessibleName(tr("Folders"));
    m_folders->setAccessibleDescription(purpose);
    m_box->setAccessibleName(purpose);
}

void FolderChooser::selectDriveOf(const QString& path)
{
    // The longest drive root that holds the folder.
    int best = 0;
    qsizetype bestLength = 0;
    for (int i = 0; i < m_drives->count(); ++i) {
        const QString root = m_drives->itemData(i).toString();
        const bool holds =
            path == root || path.startsWith(root.endsWith(u'/') ? root : root + u'/');
        if (holds && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    const QSignalBlocker quiet(m_drives);
    m_drives->setCurrentIndex(best);
    m_driveIndex = best;
}

bool FolderChooser::setFolder(const QString& path)
{
    const QDir dir(path);
    if (!dir.exists() || !dir.isReadable())
        return false;
    m_folder = QDir::cleanPath(dir.absolutePath());
    selectDriveOf(m_folder);
    fillFolders();
    // The folder list's change writes the folder into the box.
    m_box->setText(m_folder);
    return true;
}

void FolderChooser::Drive_Change(int index)
{
    const QString root = m_drives->itemData(index).toString();
    const QDir dir(root);
    if (setFolder(root))
        return;
    const QString why = !dir.exists() ? tr("The drive %1 is not available").arg(root)
                                      : tr("Permission denied: %1").arg(root);
    Messages::inform(why, tr("Answering Machine "));
    // The folder list stays where it was, and so does the drive list.
    const QSignalBlocker quiet(m_drives);
    m_drives->setCurrentIndex(m_driveIndex);
}

void FolderChooser::fillFolders()
{
    m_folders->clear();
    const QDir dir(m_folder);
    if (!dir.isRoot()) {
        auto* up = new QListWidgetItem(QStringLiteral(".."), m_folders);
        up->setData(Qt::UserRole, QDir::cleanPath(dir.absoluteFilePath(QStringLiteral(".."))));
    }
    const QStringList children =
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : children) {
        auto* item = new QListWidgetItem(name, m_folders);
        item->setData(Qt::UserRole, dir.absoluteFilePath(name));
    }
}

void FolderChooser::folderActivated(QListWidgetItem* item)
{
    const QString target = item->data(Qt::UserRole).toString();
    if (!setFolder(target))
        Messages::inform(tr("The folder %1 cannot be opened").arg(target),
                         tr("Answering Machine "));
}

} // namespace orvane
