#include "platform/fax/FaxDocument.h"

#include "platform/RegularFile.h"

#include "platform/fax/TiffFax.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <cctype>
#include <cstring>

namespace orvane::fax {

namespace {

constexpr qint64 kMaxTextBytes = 4LL * 1024 * 1024;
constexpr int kMaxPages = TiffLimits{}.maxPages;
constexpr int kOfficeTimeoutMs = 180 * 1000;
constexpr int kGhostscriptTimeoutMs = 120 * 1000;

Status missing(const QString& program, const QString& package, const QString& what)
{
    return Status(err::FileNotFound,
                  QStringLiteral("%1 is needed to fax %2 and is not installed (Debian package %3)")
                      .arg(program, what, package));
}

Status run(const QString& program, const QStringList& args, int timeoutMs, const QString& what)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForStarted())
        return Status(err::Fail, QStringLiteral("%1 cannot be started").arg(program));
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return Status(err::Fail,
                      QStringLiteral("%1 took too long to convert %2").arg(program, what));
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return Status(err::Fail,
                      QStringLiteral("%1 could not convert %2: %3")
                          .arg(program, what, QString::fromLocal8Bit(process.readAll()).trimmed()));
    return {};
}

bool looksLikeText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(4096);
    return !head.contains('\0');
}

Result<QList<FaxPage>> textPages(const QString& path, Paper paper)
{
    QFile file(path);
    if (file.size() > kMaxTextBytes)
        return Status(err::InvalidArg, QStringLiteral("%1 is too long to fax").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        return Status(err::FileNotFound,
                      QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString()));
    Result<TextPages> layout = TextPages::create(paper);
    if (!layout)
        return layout.status();
    return layout->render(decodeText(file.readAll()), kMaxPages);
}

Result<QList<FaxPage>> ghostscriptPages(const QString& pdf, const QString& workFolder, Paper paper)
{
    const QString gs = QStandardPaths::findExecutable(QStringLiteral("gs"));
    if (gs.isEmpty())
        return missing(QStringLiteral("Ghostscript (gs)"), QStringLiteral("ghostscript"),
                       QStringLiteral("PDF and PostScript documents"));
    const QString out = QDir(workFolder).filePath(QStringLiteral("page.pbm"));
    const QStringList args = {
        QStringLiteral("-q"), QStringLiteral("-dSAFER"), QStringLiteral("-dBATCH"),
        QStringLiteral("-dNOPAUSE"), QStringLiteral("-sDEVICE=pbmraw"),
        QStringLiteral("-r%1x%2").arg(kXResolution).arg(kYResolution),
        QStringLiteral("-g%1x%2").arg(kPageWidth).arg(pageHeight(paper)),
        QStringLiteral("-dFIXEDMEDIA"), QStringLiteral("-dPDFFitPage"),
        QStringLiteral("-dPSFitPage"), QStringLiteral("-dLastPage=%1").arg(kMaxPages + 1),
        // One stream of all pages: no file-name patterns to escape.
        QStringLiteral("-sOutputFile=") + out, QStringLiteral("--"), pdf};
    if (Status s = run(gs, args, kGhostscriptTimeoutMs, QFileInfo(pdf).fileName()); !s)
        return s;
    QFile file(out);
    if (!file.open(QIODevice::ReadOnly))
        return Status(err::Fail, QStringLiteral("Ghostscript wrote no pages for %1").arg(pdf));
    return readPbm(file.readAll());
}

Result<QString> officeToPdf(const QString& document, const QString& workFolder)
{
    QString office = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (office.isEmpty())
        office = QStandardPaths::findExecutable(QStringLiteral("libreoffice"));
    if (office.isEmpty())
        return missing(QStringLiteral("LibreOffice (soffice)"),
                       QStringLiteral("libreoffice-writer-nogui"),
                       QStringLiteral("word-processor documents"));
    // A profile of its own: a LibreOffice the user has open must not take the job over.
    const QString profile =
        QUrl::fromLocalFile(QDir(workFolder).filePath(QStringLiteral("office-profile"))).toString();
    const QString outDir = QDir(workFolder).filePath(QStringLiteral("pdf"));
    QDir().mkpath(outDir);
    const QStringList args = {QStringLiteral("--headless"),
                              QStringLiteral("--norestore"),
                              QStringLiteral("--nologo"),
                              QStringLiteral("--nolockcheck"),
                              QStringLiteral("-env:UserInstallation=") + profile,
                              QStringLiteral("--convert-to"),
                              QStringLiteral("pdf"),
                              QStringLiteral("--outdir"),
                              outDir,
                              document};
    if (Status s = run(office, args, kOfficeTimeoutMs, QFileInfo(document).fileName()); !s)
        return s;
    const QString pdf =
        QDir(outDir).filePath(QFileInfo(document).completeBaseName() + QStringLiteral(".pdf"));
    if (!QFileInfo::exists(pdf))
        return Status(err::Fail, QStringLiteral("LibreOffice wrote no PDF for %1").arg(document));
    return pdf;
}

} // namespace

DocumentKind documentKind(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"txt" || suffix == u"text" || suffix == u"log" || suffix == u"csv" ||
        suffix == u"md")
        return DocumentKind::Text;
    if (suffix == u"pdf" || suffix == u"ps" || suffix == u"eps")
        return DocumentKind::Pdf;
    if (suffix == u"doc" || suffix == u"docx" || suffix == u"odt" || suffix == u"rtf")
        return DocumentKind::WordProcessor;
    if (suffix == u"tif" || suffix == u"tiff")
        return DocumentKind::Tiff;
    return looksLikeText(path) ? DocumentKind::Text : DocumentKind::Unknown;
}

Result<PreparedDocument> prepareDocument(const QString& document, const QString& workFolder,
                                         Paper paper)
{
    // Only a regular file: a FIFO would block the conversion for good, a device never ends.
    if (Status s = checkRegularFile(document); !s)
        return s;
    Result<QList<FaxPage>> pages = Status(err::Fail, QString());
    switch (documentKind(document)) {
    case DocumentKind::Text:
        pages = textPages(document, paper);
        break;
    case DocumentKind::Pdf:
        pages = ghostscriptPages(document, workFolder, paper);
        break;
    case DocumentKind::WordProcessor: {
        Result<QString> pdf = officeToPdf(document, workFolder);
        pages = pdf ? ghostscriptPages(pdf.value(), workFolder, paper)
                    : Result<QList<FaxPage>>(pdf.status());
        break;
    }
    case DocumentKind::Tiff: {
        // Sent as it is once it is known to be a fax document.
        Result<TiffSummary> summary = inspectTiff(document);
        if (!summary)
            return summary.status();
        return PreparedDocument{document, summary->pages};
    }
    case DocumentKind::Unknown:
        return Status(
            err::InvalidArg,
            QStringLiteral("%1 is not a text, PDF or word-processor document").arg(document));
    }
    if (!pages)
        return pages.status();
    if (pages->size() > kMaxPages)
        return Status(err::InvalidArg,
                      QStringLiteral("%1 has more than %2 pages").arg(document).arg(kMaxPages));
    const QString tiff = QDir(workFolder).filePath(QStringLiteral("document.tif"));
    if (Status s = writeTiffF(tiff, pages.value()); !s)
        return s;
    return PreparedDocument{tiff, int(pages->size())};
}

Result<QList<FaxPage>> readPbm(const QByteArray& data)
{
    QList<FaxPage> pages;
    qsizetype pos = 0;
    auto skipSpaceAndComments = [&] {
        while (pos < data.size()) {
            if (data.at(pos) == '#') {
                while (pos < data.size() && data.at(pos) != '\n')
                    ++pos;
            } else if (std::isspace(uchar(data.at(pos)))) {
                ++pos;
            } else {
                return;
            }
        }
    };
    auto number = [&](int& value) {
        skipSpaceAndComments();
        qint64 v = 0;
        const qsizetype start = pos;
        while (pos < data.size() && std::isdigit(uchar(data.at(pos))) && v < 1000000)
            v = v * 10 + (data.at(pos++) - '0');
        value = int(v);
        return pos > start && v > 0 && v < 1000000;
    };
    while (pos < data.size()) {
        skipSpaceAndComments();
        if (pos >= data.size())
            break;
        if (data.mid(pos, 2) != "P4")
            return Status(err::InvalidArg, QStringLiteral("Not a binary PBM image"));
        pos += 2;
        int width = 0, height = 0;
        if (!number(width) || !number(height) || pos >= data.size())
            return Status(err::InvalidArg, QStringLiteral("A PBM image has no size"));
        ++pos; // the one blank before the bits
        if (width != kPageWidth)
            return Status(err::InvalidArg, QStringLiteral("A page is %1 pixels wide").arg(width));
        if (height > TiffLimits{}.maxHeight || pages.size() >= kMaxPages + 1)
            return Status(err::InvalidArg, QStringLiteral("A page is too long"));
        FaxPage page(width, height);
        if (data.size() - pos < page.bits.size())
            return Status(err::InvalidArg, QStringLiteral("A PBM image is cut short"));
        std::memcpy(page.bits.data(), data.constData() + pos, size_t(page.bits.size()));
        pos += page.bits.size();
        pages.append(std::move(page));
    }
    if (pages.isEmpty())
        return Status(err::InvalidArg, QStringLiteral("The document has no pages"));
    return pages;
}

} // namespace orvane::fax
