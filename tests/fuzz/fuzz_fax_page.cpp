// Fuzz target: a received fax file as the receiving line checks it before it keeps it (and
// as a folder's leftover part files are checked), and its pages read as images.

#include "FuzzCheck.h"
#include "FuzzInputFile.h"

#include "platform/fax/TiffFax.h"

namespace {

bool isFaxWidth(int width)
{
    // 215, 255 and 303 mm at the horizontal resolutions of fax machines.
    for (int w : {1728, 2048, 2432, 2592, 3072, 3456, 3648, 4096, 4864})
        if (w == width)
            return true;
    return false;
}

// What a summary that `limits` let through must look like.
void checkSummary(const orvane::fax::TiffSummary& summary, const orvane::fax::TiffLimits& limits)
{
    FUZZ_CHECK(summary.pages >= 1 && summary.pages <= limits.maxPages);
    FUZZ_CHECK(summary.widths.size() == summary.pages && summary.heights.size() == summary.pages);
    for (int p = 0; p < summary.pages; ++p) {
        FUZZ_CHECK(isFaxWidth(summary.widths.at(p)));
        FUZZ_CHECK(summary.heights.at(p) >= 1 && summary.heights.at(p) <= limits.maxHeight);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace orvane;
    using namespace orvane::fax;
    const QString path = fuzz::inputFile(data, size);

    // As a receiving line checks what arrived.
    const TiffLimits received;
    const Result<TiffSummary> summary = inspectTiff(path, received);
    if (summary)
        checkSummary(summary.value(), received);
    else
        FUZZ_CHECK(!summary.status().description().isEmpty());

    // The pages as images, within smaller limits so that an input decodes quickly.
    TiffLimits small;
    small.maxPages = 3;
    small.maxHeight = 256;
    const Result<QList<FaxPage>> pages = readTiffPages(path, small);
    const Result<TiffSummary> smallSummary = inspectTiff(path, small);
    if (!pages) {
        FUZZ_CHECK(!pages.status().description().isEmpty());
        return 0;
    }
    // Pages are only read from a file that passes the check, and are what it says.
    FUZZ_CHECK(smallSummary.isOk() && summary.isOk());
    checkSummary(smallSummary.value(), small);
    FUZZ_CHECK(pages->size() == smallSummary->pages);
    for (qsizetype p = 0; p < pages->size(); ++p) {
        const FaxPage& page = pages->at(p);
        FUZZ_CHECK(page.width == smallSummary->widths.at(p));
        FUZZ_CHECK(page.height == smallSummary->heights.at(p));
        FUZZ_CHECK(page.bits.size() == qsizetype(page.stride()) * page.height);
    }
    return 0;
}
