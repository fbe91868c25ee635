#pragma once

// Every message the desktop program shows goes through here: a text, a title, an icon and
// buttons, and the button the user chose. The real one is a QMessageBox; tests install one
// that records what was shown and answers as the test says.

#include <QMessageBox>
#include <QString>

#include <functional>
#include <memory>

namespace orvane {

struct MessageRequest {
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::Information;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QString details; // shown under the text, when there is more to say (why it failed)
};

class Messages {
public:
    using Handler = std::function<QMessageBox::StandardButton(const MessageRequest&)>;

    // Shows the message and returns the button chosen.
    static QMessageBox::StandardButton show(const MessageRequest& request);
    // The box show() runs: wide enough that the window manager shows its whole title.
    static std::unique_ptr<QMessageBox> box(const MessageRequest& request);

    // The common kinds: an information message with OK; a warning (exclamation) with OK; a
    // question with Yes and No and no icon.
    static void inform(const QString& text, const QString& title,
                       const QString& details = QString());
    static void warn(const QString& text, const QString& title);
    static bool confirm(const QString& text, const QString& title);

    // The program's title: the caption of the confirmations that name no title of their
    // own (rather than the bare program name the toolkit would put there).
    static QString programTitle() { return QStringLiteral("Orvane"); }

    // Replaces the message boxes (tests); an empty handler puts them back.
    static void setHandler(Handler handler);
};

} // namespace orvane
