#include "platform/fax/TextPages.h"

#include <QHash>
#include <QStringDecoder>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <langinfo.h>

#include <cstdint>

namespace orvane::fax {

namespace {
// About a centimetre all round, at 204 x 196 dots per inch.
constexpr int kSideMargin = 80;
constexpr int kTopMargin = 77;
constexpr int kPointSize = 10;
constexpr int kTabWidth = 8;

// The file of the font that fontconfig gives for "monospace".
Result<QByteArray> monospaceFontFile(int& faceIndex)
{
    if (!FcInit())
        return Status(err::Fail, QStringLiteral("The font configuration cannot be read"));
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("monospace"));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    QByteArray file;
    FcChar8* path = nullptr;
    if (match && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
        file = reinterpret_cast<const char*>(path);
        faceIndex = 0;
        FcPatternGetInteger(match, FC_INDEX, 0, &faceIndex);
    }
    if (match)
        FcPatternDestroy(match);
    if (file.isEmpty())
        return Status(err::FileNotFound, QStringLiteral("No monospaced font is installed"));
    return file;
}

} // namespace

Paper localPaper()
{
    // glibc keeps the paper height in millimetres as a number in the pointer's place.
    const auto height =
        static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(nl_langinfo(_NL_PAPER_HEIGHT)));
    return height == 279 ? Paper::Letter : Paper::A4;
}

int pageHeight(Paper paper)
{
    // 297 mm and 11 inches at 196 rows per inch.
    return paper == Paper::Letter ? 11 * kYResolution : 2292;
}

struct TextPages::Font {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    int advance = 0;
    int ascender = 0;
    int lineHeight = 0;

    struct Glyph {
        int left = 0, top = 0, width = 0, rows = 0, pitch = 0;
        QByteArray bits;
    };
    mutable QHash<char32_t, Glyph> glyphs;

    ~Font()
    {
        if (face)
            FT_Done_Face(face);
        if (library)
            FT_Done_FreeType(library);
    }

    const Glyph& glyph(char32_t c) const
    {
        auto it = glyphs.constFind(c);
        if (it != glyphs.constEnd())
            return *it;
        Glyph g;
        if (FT_Load_Char(face, c, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) == 0 &&
            face->glyph->bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
            const FT_Bitmap& b = face->glyph->bitmap;
            g.left = face->glyph->bitmap_left;
            g.top = face->glyph->bitmap_top;
            g.width = int(b.width);
            g.rows = int(b.rows);
            g.pitch = qAbs(b.pitch);
            g.bits = QByteArray(reinterpret_cast<const char*>(b.buffer), g.pitch * g.rows);
        }
        return *glyphs.insert(c, g);
    }
};

TextPages::TextPages(std::unique_ptr<Font> font, Paper paper)
    : m_font(std::move(font))
    , m_paper(paper)
{}
TextPages::TextPages(TextPages&&) noexcept = default;
TextPages& TextPages::operator=(TextPages&&) noexcept = default;
TextPages::~TextPages() = default;

Result<TextPages> TextPages::create(Paper paper)
{
    int index = 0;
    Result<QByteArray> file = monospaceFontFile(index);
    if (!file)
        return file.status();
    auto font = std::make_unique<Font>();
    if (FT_Init_FreeType(&font->library) != 0)
        return Status(err::Fail, QStringLiteral("The font renderer cannot start"));
    if (FT_New_Face(font->library, file->constData(), index, &font->face) != 0)
        return Status(
            err::Fail,
            QStringLiteral("The font %1 cannot be read").arg(QString::fromLocal8Bit(*file)));
    if (FT_Set_Char_Size(font->face, 0, kPointSize * 64, kXResolution, kYResolution) != 0)
        return Status(err::Fail, QStringLiteral("The font cannot be sized for a fax page"));
    const FT_Size_Metrics& m = font->face->size->metrics;
    font->ascender = int((m.ascender + 32) >> 6);
    font->lineHeight = int((m.height + 32) >> 6);
    if (FT_Load_Char(font->face, 'M', FT_LOAD_DEFAULT) == 0)
        font->advance = int((font->face->glyph->advance.x + 32) >> 6);
    if (font->advance <= 0 || font->lineHeight <= 0)
        return Status(err::Fail, QStringLiteral("The monospaced font has no usable size"));
    return TextPages(std::move(font), paper);
}

TextLayout TextPages::layout() const
{
    TextLayout l;
    l.columns = (kPageWidth - 2 * kSideMargin) / m_font->advance;
    l.linesPerPage = (pageHeight(m_paper) - 2 * kTopMargin) / m_font->lineHeight;
    return l;
}

QStringList TextPages::lines(const QString& text) const
{
    const int columns = layout().columns;
    QString normal = text;
    normal.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
    if (normal.endsWith(u'\n'))
        normal.chop(1);
    QStringList out;
    const QStringList sourceLines = normal.split(u'\n');
    for (const QString& source : sourceLines) {
        const QStringList parts = source.split(u'\f');
        for (qsizetype p = 0; p < parts.size(); ++p) {
            if (p > 0)
                out << QStringLiteral("\f");
            // Tabs to the next stop; other control characters have nothing to show.
            QString line;
            for (QChar c : parts.at(p)) {
                if (c == u'\t')
                    line.append(QString(kTabWidth - line.size() % kTabWidth, u' '));
                else if (c.category() != QChar::Other_Control)
                    line.append(c);
            }
            if (line.isEmpty() && parts.size() > 1)
                continue; // beside a form feed, an empty piece is only the break
            while (line.size() > columns) {
                // At the last blank of the line's second half, else hard at the margin.
                qsizetype cut = line.lastIndexOf(u' ', columns);
                if (cut < columns / 2) {
                    out << line.left(columns);
                    line = line.mid(columns);
                } else {
                    out << line.left(cut);
                    line = line.mid(cut + 1);
                }
            }
            out << line;
        }
    }
    return out;
}

QList<FaxPage> TextPages::render(const QString& text, int maxPages) const
{
    const TextLayout l = layout();
    const int height = pageHeight(m_paper);
    QList<FaxPage> pages;
    FaxPage page(kPageWidth, height);
    int line = 0;
    bool pageUsed = false;
    auto finishPage = [&] {
        pages.append(std::move(page));
        page = FaxPage(kPageWidth, height);
        line = 0;
        pageUsed = false;
    };
    const QStringList all = lines(text);
    for (const QString& text : all) {
        if (pages.size() > maxPages)
            return pages;
        if (text == QLatin1String("\f")) {
            if (pageUsed)
                finishPage();
            continue;
        }
        if (line == l.linesPerPage)
            finishPage();
        const int baseline = kTopMargin + line * m_font->lineHeight + m_font->ascender;
        int column = 0;
        for (char32_t c : text.toUcs4()) {
            const Font::Glyph& g = m_font->glyph(c);
            const int x0 = kSideMargin + column * m_font->advance + g.left;
            const int y0 = baseline - g.top;
            for (int r = 0; r < g.rows; ++r) {
                const int y = y0 + r;
                if (y < 0 || y >= height)
                    continue;
                const uchar* bits =
                    reinterpret_cast<const uchar*>(g.bits.constData()) + r * g.pitch;
                for (int x = 0; x < g.width; ++x)
                    if (bits[x >> 3] & (0x80 >> (x & 7)) && x0 + x >= 0 && x0 + x < kPageWidth)
                        page.setBlack(x0 + x, y);
            }
            ++column;
        }
        ++line;
        pageUsed = true;
    }
    if (pageUsed || pages.isEmpty())
        pages.append(std::move(page));
    return pages;
}

QString decodeText(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text.startsWith(QChar(0xFEFF)) ? text.mid(1) : text;
    return QString::fromLatin1(bytes);
}

} // namespace orvane::fax
