#include "platform/fax/TiffFax.h"

#include "platform/RegularFile.h"

#include <QFile>
#include <QFileInfo>

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

namespace orvane::fax {

namespace {

// libtiff reports through process-wide handlers; each thread keeps its own last error.
thread_local QString tLastError;

void recordError(const char* module, const char* format, va_list args)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    tLastError =
        module ? QStringLiteral("%1: %2").arg(QString::fromUtf8(module), QString::fromUtf8(text))
               : QString::fromUtf8(text);
}

void installHandlers()
{
    static const bool installed = [] {
        TIFFSetErrorHandler(recordError);
        TIFFSetWarningHandler(nullptr); // unknown tags and the like are no reason to stop
        return true;
    }();
    Q_UNUSED(installed);
}

Status tiffFailure(const QString& what)
{
    const QString detail =
        tLastError.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(tLastError);
    tLastError.clear();
    return Status(err::Fail, what + detail);
}

bool isFaxWidth(int width)
{
    // 215, 255 and 303 mm at the horizontal resolutions a fax machine may use.
    for (int w : {1728, 2048, 2432, 2592, 3072, 3456, 3648, 4096, 4864})
        if (w == width)
            return true;
    return false;
}

struct TiffCloser {
    void operator()(TIFF* t) const
    {
        if (t)
            TIFFClose(t);
    }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

TiffHandle openTiff(const QString& path, const char* mode)
{
    installHandlers();
    tLastError.clear();
    return TiffHandle(TIFFOpen(QFile::encodeName(path).constData(), mode));
}

// The current directory as a fax page: its size, and whether it is within the limits.
Status checkDirectory(TIFF* tif, int page, const TiffLimits& limits, uint32_t& width,
                      uint32_t& height)
{
    uint16_t bits = 0, samples = 1;
    width = height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    if (bits != 1 || samples != 1)
        return Status(err::InvalidArg,
                      QStringLiteral("Page %1 is not a black and white image").arg(page));
    if (!isFaxWidth(int(width)))
        return Status(
            err::InvalidArg,
            QStringLiteral("Page %1 is %2 pixels wide, not a fax width").arg(page).arg(width));
    if (height == 0 || height > uint32_t(limits.maxHeight))
        return Status(err::InvalidArg,
                      QStringLiteral("Page %1 is %2 rows long").arg(page).arg(height));
    return {};
}

} // namespace

Status writeTiffF(const QString& path, const QList<FaxPage>& pages)
{
    if (pages.isEmpty())
        return Status(err::InvalidArg, QStringLiteral("A fax document needs at least one page"));
    TiffHandle tif = openTiff(path, "w");
    if (!tif)
        return tiffFailure(QStringLiteral("Cannot create %1").arg(path));
    for (qsizetype i = 0; i < pages.size(); ++i) {
        const FaxPage& page = pages.at(i);
        TIFF* t = tif.get();
        TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(page.width));
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(page.height));
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(1));
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3);
        TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, uint32_t(GROUP3OPT_2DENCODING | GROUP3OPT_FILLBITS));
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_LSB2MSB);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
        TIFFSetField(t, TIFFTAG_XRESOLUTION, float(kXResolution));
        TIFFSetField(t, TIFFTAG_YRESOLUTION, float(kYResolution));
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(page.height));
        TIFFSetField(t, TIFFTAG_PAGENUMBER, uint16_t(i), uint16_t(pages.size()));
        TIFFSetField(t, TIFFTAG_SOFTWARE, "Orvane");
        QByteArray row(page.stride(), '\0');
        for (int y = 0; y < page.height; ++y) {
            std::memcpy(row.data(), page.row(y), size_t(page.stride()));
            if (TIFFWriteScanline(t, row.data(), uint32_t(y), 0) < 0)
                return tiffFailure(
                    QStringLiteral("Cannot write page %1 of %2").arg(i + 1).arg(path));
        }
        if (!TIFFWriteDirectory(t))
            return tiffFailure(QStringLiteral("Cannot write page %1 of %2").arg(i + 1).arg(path));
    }
    return {};
}

Result<TiffSummary> inspectTiff(const QString& path, const TiffLimits& limits)
{
    if (Status s = checkRegularFile(path); !s)
        return s;
    const QFileInfo info(path);
    if (info.size() > limits.maxBytes)
        return Status(err::InvalidArg, QStringLiteral("%1 is too large for a fax").arg(path));
    TiffHandle tif = openTiff(path, "r");
    if (!tif)
        return tiffFailure(QStringLiteral("%1 is not a TIFF file").arg(path));
    TiffSummary summary;
    do {
        if (++summary.pages > limits.maxPages)
            return Status(
                err::InvalidArg,
                QStringLiteral("%1 has more than %2 pages").arg(path).arg(limits.maxPages));
        uint32_t width = 0, height = 0;
        if (Status s = checkDirectory(tif.get(), summary.pages, limits, width, height); !s)
            return s;
        summary.widths.append(int(width));
        summary.heights.append(int(height));
    } while (TIFFReadDirectory(tif.get()));
    if (!tLastError.isEmpty())
        return tiffFailure(QStringLiteral("%1 is damaged").arg(path));
    return summary;
}

Result<QList<FaxPage>> readTiffPages(const QString& path, const TiffLimits& limits)
{
    Result<TiffSummary> summary = inspectTiff(path, limits);
    if (!summary)
        return summary.status();
    TiffHandle tif = openTiff(path, "r");
    if (!tif)
        return tiffFailure(QStringLiteral("%1 is not a TIFF file").arg(path));
    QList<FaxPage> pages;
    for (int p = 0; p < summary->pages; ++p) {
        if (p > 0 && !TIFFReadDirectory(tif.get()))
            return tiffFailure(QStringLiteral("%1 is damaged").arg(path));
        uint16_t photometric = PHOTOMETRIC_MINISWHITE;
        TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric);
        FaxPage page(summary->widths.at(p), summary->heights.at(p));
        QByteArray scan(qMax<tmsize_t>(TIFFScanlineSize(tif.get()), page.stride()), '\0');
        for (int y = 0; y < page.height; ++y) {
            if (TIFFReadScanline(tif.get(), scan.data(), uint32_t(y), 0) < 0)
                return tiffFailure(QStringLiteral("Page %1 of %2 is damaged").arg(p + 1).arg(path));
            uchar* row = page.row(y);
            for (int b = 0; b < page.stride(); ++b)
                row[b] =
                    photometric == PHOTOMETRIC_MINISBLACK ? uchar(~scan.at(b)) : uchar(scan.at(b));
        }
        pages.append(std::move(page));
    }
    return pages;
}

} // namespace orvane::fax
