#pragma once

// TIFF-F, the file format of fax documents: writing pages for sending, and checking what
// a file holds before it is sent or kept (a received file is never trusted).

#include "platform/Status.h"
#include "platform/fax/FaxPage.h"

#include <QList>
#include <QString>

namespace orvane::fax {

// Multi-page, CCITT Group 3 (2-D), white is zero, 204 x 196 dots per inch.
Status writeTiffF(const QString& path, const QList<FaxPage>& pages);

struct TiffLimits {
    int maxPages = 200;
    int maxHeight = 2 * 3600; // rows: twice a B4 page at superfine resolution
    qint64 maxBytes = 64LL * 1024 * 1024;
};

struct TiffSummary {
    int pages = 0;
    QList<int> widths, heights;
};

// What a TIFF file holds: every page bilevel, of a fax width, within the limits.
Result<TiffSummary> inspectTiff(const QString& path, const TiffLimits& limits = {});
// Every page of a TIFF file (any bilevel compression) as an image; for tests and checks.
Result<QList<FaxPage>> readTiffPages(const QString& path, const TiffLimits& limits = {});

} // namespace orvane::fax
