#pragma once

// The about window: pictures and two texts on white; any click or key closes it.
//
// Thread: the user-interface thread.

#include <QDialog>

namespace orvane {

class frmSplash : public QDialog {
    Q_OBJECT

public:
    explicit frmSplash(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace orvane
