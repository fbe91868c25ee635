#pragma once

// A drive list, a folder list and a box that shows the chosen folder, working together as
// one folder chooser. Drives are the mounted file systems a user keeps files on (the root,
// home, removable media); the folder list shows the parent ("..") and the sub-folders of the
// current folder, and activating one moves there.
//
// Thread: the user-interface thread.

#include <QObject>
#include <QString>

class QComboBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QWidget;

namespace orvane {

class FolderChooser : public QObject {
    Q_OBJECT

public:
    // Makes the three controls on `parent` under the given object names, starting at the
    // process's current folder.
    FolderChooser(QWidget* parent, const char* driveName, const char* folderName,
                  const char* boxName);

    QComboBox* drives() const { return m_drives; }
    QListWidget* folders() const { return m_folders; }
    QLineEdit* box() const { return m_box; }
    QString folder() const { return m_folder; }

    // Moves the folder list to `path`; false (and the list stays) when it cannot be read.
    bool setFolder(const QString& path);
    // The drive list's change: the folder list goes to that drive's root, or says why not.
    void Drive_Change(int index);

private:
    void fillFolders();
    void folderActivated(QListWidgetItem* item);
    void selectDriveOf(const QString& path);

    QComboBox* m_drives;
    QListWidget* m_folders;
    QLineEdit* m_box;
    QString m_folder;
    int m_driveIndex = -1;
};

} // namespace orvane
