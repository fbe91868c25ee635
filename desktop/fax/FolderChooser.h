#pragma once

// A drive list, a folder list and a box that shows the chosen folder, working together as
// one folder chooser. Drives are the mounted file systems a user keeps files on (the root,
// home, removable media); the folder list shows the parent ("..") and the sub-folders of the
// current folder, and activating one moves there. A button beside the box opens the
// desktop's own folder dialog.
//
// Thread: the user-interface thread.

#include <QObject>
#include <QString>

#include <functional>

class QComboBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QToolButton;
class QWidget;

namespace orvane {

class FolderChooser : public QObject {
    Q_OBJECT

public:
    // Makes the controls on `parent` under the given object names (the dialog's button
    // under `buttonName`), starting at the process's current folder.
    FolderChooser(QWidget* parent, const char* driveName, const char* folderName,
                  const char* boxName, const char* buttonName);

    // The folder dialog: asks with `title` from `folder` and returns the chosen folder, or
    // an empty text when the user cancels. Tests put their own in its place; an empty
    // function puts the desktop's back.
    using FolderDialog =
        std::function<QString(QWidget* parent, const QString& title, const QString& folder)>;
    static void setFolderDialog(FolderDialog dialog);

    QComboBox* drives() const { return m_drives; }
    QListWidget* folders() const { return m_folders; }
    QLineEdit* box() const { return m_box; }
    QToolButton* dialogButton() const { return m_button; }
    QString folder() const { return m_folder; }

    // Moves the folder list to `path`; false (and the list stays) when it cannot be read.
    bool setFolder(const QString& path);
    // What a screen reader says of its controls: `purpose` is what the folder is for.
    void nameForReaders(const QString& purpose);
    // The drive list's change: the folder list goes to that drive's root, or says why not.
    void Drive_Change(int index);

private:
    void chooseWithDialog();
    void fillFolders();
    void folderActivated(QListWidgetItem* item);
    void selectDriveOf(const QString& path);

    QComboBox* m_drives;
    QListWidget* m_folders;
    QLineEdit* m_box;
    QToolButton* m_button;
    QString m_purpose;
    QString m_folder;
    int m_driveIndex = -1;
};

} // namespace orvane
