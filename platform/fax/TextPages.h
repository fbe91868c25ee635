#pragma once

// A text document laid out as fax pages: a monospaced font at 10 points, margins of about a
// centimetre, long lines wrapped at a word where one is near, form feeds starting a new
// page, tabs every eight columns.

#include "platform/Status.h"
#include "platform/fax/FaxPage.h"

#include <QList>
#include <QString>

namespace orvane::fax {

enum class Paper { A4, Letter };

// The user's paper (the locale's LC_PAPER): Letter where letter paper is used, else A4.
Paper localPaper();
// Rows of a page at the fax's vertical resolution.
int pageHeight(Paper paper);

struct TextLayout {
    int columns = 0;      // characters on a line
    int linesPerPage = 0; // lines on a page
};

class TextPages {
public:
    // Finds the monospaced font (fontconfig) and prepares it; fails when none is installed.
    static Result<TextPages> create(Paper paper);
    TextPages(TextPages&&) noexcept;
    TextPages& operator=(TextPages&&) noexcept;
    ~TextPages();

    TextLayout layout() const;
    // The text's lines as they will stand on the pages (wrapped, tabs expanded); "\f"
    // entries mark page breaks.
    QStringList lines(const QString& text) const;
    // At most `maxPages` pages: rendering stops at the first page beyond them (so that a
    // huge text fails fast rather than filling memory); the caller sees the extra page.
    QList<FaxPage> render(const QString& text, int maxPages = 200) const;

private:
    struct Font;
    TextPages(std::unique_ptr<Font> font, Paper paper);
    std::unique_ptr<Font> m_font;
    Paper m_paper;
};

// Decodes a text file's bytes: UTF-8 where valid, else Latin-1.
QString decodeText(const QByteArray& bytes);

} // namespace orvane::fax
