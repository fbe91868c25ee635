#include "platform/telephony/sim/SimFaxCaller.h"

#include "platform/audio/G711.h"
#include "platform/fax/TiffFax.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstring>
#include <vector>

// The page data is taken where spandsp's modems fetch it, which its public interface does
// not reach: the T.30 state's transmit-mode handler and the fast modems (spandsp 0.0.6).
#define SPANDSP_EXPOSE_INTERNAL_STRUCTURES
#include <spandsp.h>

namespace orvane::sim {

namespace {

constexpr qsizetype kStep = 160;
// An end of line is eleven zeros or more (fill, then the code's own) and a one.
constexpr int kEolZeros = 11;

} // namespace

// A page of a business letter's kind: a frame, ruled lines and columns, and as many marks
// in its corner as its number.
fax::FaxPage SimFaxCaller::page(int number)
{
    fax::FaxPage drawn(fax::kPageWidth, kPageRows);
    for (int y = 0; y < drawn.height; ++y) {
        const bool edge = y < 8 || y >= drawn.height - 8;
        const bool ruled = y % 48 < 3;
        for (int x = 0; x < drawn.width; ++x) {
            const bool frame = edge || x < 8 || x >= drawn.width - 8;
            const bool column = x % 288 < 4 && y > 96;
            const bool mark = y > 24 && y < 72 && x > 40 && x < 40 + 64 * number && x % 64 < 40;
            if (frame || (ruled && x > 40 && x < drawn.width - 40) || column || mark)
                drawn.setBlack(x, y);
        }
    }
    return drawn;
}

struct SimFaxCaller::Machine {
    QTemporaryDir dir;
    QByteArray document; // spandsp keeps the pointer
    fax_state_t* fax = nullptr;
    t30_state_t* t30 = nullptr;
    // spandsp's own handler for the transmit modes, which this one wraps.
    t30_set_handler_t* setTxType = nullptr;
    void* setTxTypeUser = nullptr;

    // The coded rows of the page going out, changed where the page is to be damaged.
    int page = -1;      // the page of the document going out, from 0
    int row = 0;        // rows begun on it (ends of line seen)
    int zeros = 0;      // zero bits in a row at the end of what was read
    bool inRow = false; // a row is being read into `pending`
    std::vector<int> pending;
    std::vector<int> out; // bits to send before reading more, the next one last
    QRandomGenerator random{20241208};
    qint16 samples[kStep];

    ~Machine()
    {
        if (fax)
            fax_free(fax);
    }

    bool faulty = true;

    bool damaged(int pageIndex, int rowNumber) const
    {
        if (!faulty || pageIndex < 0 || pageIndex >= kPages)
            return false;
        return rowNumber >= kDamage[pageIndex].firstRow && rowNumber <= kDamage[pageIndex].lastRow;
    }

    // A row's codes as this machine's fault sends them, by turns garbled, cut short and
    // twice as wide as the page.
    std::vector<int> damage(const std::vector<int>& codes)
    {
        std::vector<int> bad;
        switch (row % 3) {
        case 0: {
            // Random codes of the same length; never so many zeros in a row that they
            // would end the line early.
            int run = 0;
            for (size_t i = 0; i < codes.size(); ++i) {
                const int bit = run >= 7 ? 1 : int(random.bounded(2));
                run = bit ? 0 : run + 1;
                bad.push_back(bit);
            }
            break;
        }
        case 1:
            bad.assign(codes.begin(), codes.begin() + qsizetype(codes.size()) / 3);
            break;
        default:
            bad = codes;
            bad.insert(bad.end(), codes.begin(), codes.end());
            break;
        }
        return bad;
    }

    // `bits`, in their order, go out before anything queued.
    void send(const std::vector<int>& bits) { out.insert(out.end(), bits.rbegin(), bits.rend()); }

    // The next bit of the page data (or of the training check before it), or the end.
    int nextBit()
    {
        for (;;) {
            if (!out.empty()) {
                const int bit = out.back();
                out.pop_back();
                return bit;
            }
            const int bit = t30_non_ecm_get_bit(t30);
            if (bit < 0) {
                // The end of the training check, or of a page: what was read goes as it was.
                inRow = false;
                zeros = 0;
                if (pending.empty())
                    return bit;
                out.push_back(bit);
                send(pending);
                pending.clear();
                continue;
            }
            if (!inRow) {
                // Before the page's first end of line (and all through the training check,
                // which is only zeros) bits pass as they come.
                const bool eol = bit == 1 && zeros >= kEolZeros;
                zeros = bit ? 0 : zeros + 1;
                if (eol) {
                    inRow = true;
                    row = 1;
                    page = t4_tx_get_current_page_in_file(&t30->t4.tx);
                }
                return bit;
            }
            pending.push_back(bit);
            if (bit == 0) {
                ++zeros;
                continue;
            }
            if (zeros < kEolZeros) {
                zeros = 0;
                continue;
            }
            // The row ended with this end of line: its codes go, changed or not, then the
            // end of line, and the next row begins.
            const qsizetype codes = qsizetype(pending.size()) - zeros - 1;
            std::vector<int> line(pending.begin(), pending.begin() + codes);
            if (damaged(page, row))
                line = damage(line);
            line.insert(line.end(), pending.begin() + codes, pending.end());
            send(line);
            pending.clear();
            zeros = 0;
            ++row;
        }
    }

    static int getBit(void* user) { return static_cast<Machine*>(user)->nextBit(); }

    static void setTxTypeWrapped(void* user, int type, int bitRate, int shortTrain, int useHdlc)
    {
        auto* self = static_cast<Machine*>(user);
        self->setTxType(self->setTxTypeUser, type, bitRate, shortTrain, useHdlc);
        if (useHdlc)
            return;
        fax_modems_state_t& modems = self->fax->modems;
        switch (type) {
        case T30_MODEM_V17:
            v17_tx_set_get_bit(&modems.fast_modems.v17_tx, &getBit, self);
            break;
        case T30_MODEM_V29:
            v29_tx_set_get_bit(&modems.fast_modems.v29_tx, &getBit, self);
            break;
        case T30_MODEM_V27TER:
            v27ter_tx_set_get_bit(&modems.fast_modems.v27ter_tx, &getBit, self);
            break;
        default:
            break;
        }
    }
};

SimFaxCaller::SimFaxCaller() = default;
SimFaxCaller::~SimFaxCaller() = default;

Result<std::unique_ptr<SimFaxCaller>> SimFaxCaller::create(bool faulty)
{
    std::unique_ptr<SimFaxCaller> caller(new SimFaxCaller);
    caller->m_machine = std::make_unique<Machine>();
    Machine& m = *caller->m_machine;
    m.faulty = faulty;
    if (!m.dir.isValid())
        return Status(
            err::Fail,
            QStringLiteral("No folder for the caller's pages: %1").arg(m.dir.errorString()));
    QList<fax::FaxPage> pages;
    for (int p = 1; p <= kPages; ++p)
        pages.append(page(p));
    const QString path = m.dir.filePath(QStringLiteral("pages.tif"));
    if (Status s = fax::writeTiffF(path, pages); !s)
        return s;
    m.document = QFile::encodeName(path);
    m.fax = fax_init(nullptr, 1);
    if (!m.fax)
        return Status(err::Fail, QStringLiteral("The caller's fax modem could not be started"));
    fax_set_transmit_on_idle(m.fax, 1);
    m.t30 = fax_get_t30_state(m.fax);
    t30_set_tx_ident(m.t30, "Simulated faulty fax");
    t30_set_tx_file(m.t30, m.document.constData(), -1, -1);
    t30_set_supported_modems(m.t30, T30_SUPPORT_V27TER | T30_SUPPORT_V29 | T30_SUPPORT_V17);
    t30_set_supported_compressions(m.t30, T30_SUPPORT_T4_1D_COMPRESSION);
    t30_set_ecm_capability(m.t30, 0);
    m.setTxType = m.t30->set_tx_type_handler;
    m.setTxTypeUser = m.t30->set_tx_type_user_data;
    m.t30->set_tx_type_handler = &Machine::setTxTypeWrapped;
    m.t30->set_tx_type_user_data = &m;
    return caller;
}

void SimFaxCaller::hear(const quint8* in, qsizetype count)
{
    Machine& m = *m_machine;
    for (qsizetype done = 0; done < count;) {
        const qsizetype n = qMin(count - done, kStep);
        g711::decodeUlaw(in + done, m.samples, n);
        fax_rx(m.fax, m.samples, int(n));
        done += n;
    }
}

void SimFaxCaller::say(quint8* out, qsizetype count)
{
    Machine& m = *m_machine;
    for (qsizetype done = 0; done < count;) {
        const qsizetype n = qMin(count - done, kStep);
        const int made = fax_tx(m.fax, m.samples, int(n));
        if (made < n)
            std::memset(m.samples + made, 0, size_t(n - made) * sizeof(qint16));
        g711::encodeUlaw(m.samples, out + done, n);
        done += n;
    }
}

} // namespace orvane::sim
