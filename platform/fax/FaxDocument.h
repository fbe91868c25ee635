#pragma once

// Turning a document into what a fax sends: a TIFF-F file of fax pages. Text is laid out
// here; PDF and PostScript are rendered by Ghostscript; word-processor documents are first
// turned into PDF by LibreOffice. A converter that is not installed is named in the error.

#include "platform/Status.h"
#include "platform/fax/FaxPage.h"
#include "platform/fax/TextPages.h"

#include <QList>
#include <QString>

namespace orvane::fax {

enum class DocumentKind { Text, Pdf, WordProcessor, Tiff, Unknown };

// By the file's suffix, or by its content when the suffix says nothing.
DocumentKind documentKind(const QString& path);

struct PreparedDocument {
    QString tiffPath;
    int pages = 0;
};

// Writes `document` as a TIFF-F file into `workFolder` (which the caller removes later).
// Blocking, seconds for a word-processor document: run it away from a line's thread.
Result<PreparedDocument> prepareDocument(const QString& document, const QString& workFolder,
                                         Paper paper);

// The pages of a binary PBM stream (one or more images, as Ghostscript writes them).
Result<QList<FaxPage>> readPbm(const QByteArray& data);

} // namespace orvane::fax
