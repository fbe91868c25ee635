#pragma once

// A fax page as a bilevel image: rows of packed pixels, most significant bit first, 1 for
// black (the way TIFF-F with "white is zero" stores them), at the fax resolutions.

#include <QByteArray>

namespace orvane::fax {

// The standard fax width (215 mm) at 204 dots per inch, and the fine vertical resolution.
constexpr int kPageWidth = 1728;
constexpr int kXResolution = 204;
constexpr int kYResolution = 196;

struct FaxPage {
    int width = kPageWidth;
    int height = 0;
    QByteArray bits; // height rows of stride() bytes

    FaxPage() = default;
    FaxPage(int w, int h)
        : width(w)
        , height(h)
        , bits(qsizetype(stride()) * h, '\0')
    {}
    int stride() const { return (width + 7) / 8; }
    uchar* row(int y) { return reinterpret_cast<uchar*>(bits.data()) + qsizetype(y) * stride(); }
    const uchar* row(int y) const
    {
        return reinterpret_cast<const uchar*>(bits.constData()) + qsizetype(y) * stride();
    }
    bool black(int x, int y) const { return row(y)[x >> 3] & (0x80 >> (x & 7)); }
    void setBlack(int x, int y) { row(y)[x >> 3] |= uchar(0x80 >> (x & 7)); }
};

} // namespace orvane::fax
