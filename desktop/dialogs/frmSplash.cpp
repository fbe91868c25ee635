#include "desktop/dialogs/frmSplash.h"

#include "desktop/common/Artwork.h"
#include "desktop/common/Controls.h"
#include "desktop/common/Twips.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>

namespace orvane {

namespace {

const char* const kNotice =
    QT_TRANSLATE_NOOP("orvane::frmSplash", "Orvane %1 - answering machine and fax machine");
const char* const kWarning = QT_TRANSLATE_NOOP(
    "orvane::frmSplash",
    "Orvane answers your telephone lines and records your callers. Recordings of calls may be "
    "subject to law where you live: tell your callers that they are recorded, keep what you "
    "record safe, and delete what you no longer need.");

} // namespace

frmSplash::frmSplash(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSplash"));
    // No title bar: a framed window always shows a title, and Qt puts the program's name
    // there when the window has none. The window still has a title, for the task switcher
    // and screen readers; it closes at any click or key, so nothing needs the frame.
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(tr("About Orvane"));
    setFixedSize(twips::px(6555), twips::px(3675));

    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setGeometry(twips::rect(-60, -60, 7440, 4230));
    frame->setAutoFillBackground(true);
    QPalette white = frame->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    frame->setPalette(white);

    struct Picture {
        const char* name;
        QRect place;
        QPixmap pixmap;
    };
    const QRect i2 = twips::rect(240, 360, 1710, 990), i3 = twips::rect(1320, 240, 4830, 450),
                i5 = twips::rect(4920, 600, 1140, 195), i1 = twips::rect(4800, 840, 1305, 1485),
                i4 = twips::rect(2520, 2355, 3360, 285);
    const QList<Picture> pictures{
        {"Image2", i2, artwork::emblem(i2.width(), i2.height())},
        {"Image3", i3, artwork::banner(i3.width(), i3.height())},
        {"Image5", i5, artwork::pixmap(artwork::Glyph::Tape, i5.height())},
        {"Image1", i1, artwork::pixmap(artwork::Glyph::Device, qMin(i1.width(), i1.height()))},
        {"Image4", i4, artwork::pixmap(artwork::Glyph::Bell, i4.height())},
    };
    for (const Picture& p : pictures) {
        auto* image = new QLabel(frame);
        image->setObjectName(QLatin1String(p.name));
        image->setGeometry(p.place);
        image->setPixmap(p.pixmap);
        image->setAlignment(Qt::AlignCenter);
        image->installEventFilter(this);
    }
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSizeF(8.25);
    auto* notice = new QLabel(tr(kNotice).arg(QStringLiteral(ORVANE_VERSION)), frame);
    notice->setObjectName(QStringLiteral("Label1"));
    notice->setGeometry(twips::rect(360, 1680, 3375, 495));
    notice->setFont(arial);
    notice->setWordWrap(true);
    notice->installEventFilter(this);
    auto* warning = new QLabel(frame);
    warning->setObjectName(QStringLiteral("lblWarning"));
    warning->setGeometry(twips::rect(360, 2640, 6015, 795));
    warning->setFont(arial);
    warning->setWordWrap(true);
    warning->setText(tr(kWarning));
    warning->installEventFilter(this);
    auto* close = makeButton(frame, "cmdClose", tr("Close"), twips::rect(5880, 3360, 615, 285));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    frame->installEventFilter(this);

    // At its place beside the main window.
    if (parent) {
        const QRect owner = parent->window()->frameGeometry();
        move(owner.left() + twips::px(130), owner.top() + twips::px(1300));
    }
}

void frmSplash::keyPressEvent(QKeyEvent*)
{
    accept();
}

bool frmSplash::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        accept();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace orvane
