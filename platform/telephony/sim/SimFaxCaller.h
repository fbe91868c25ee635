#pragma once

// A faulty fax machine as a simulated caller: once the line answers, it sends three pages of
// its own (an old machine: no error correction, one-dimensional coding, so that what it
// puts on the line is what the receiver decodes). The first page goes out sound; in the
// second a few rows are malformed, in the third nearly every one: rows of random codes, rows
// cut short and rows twice the page's width. The receiver has to keep what is sound and
// say why the rest did not come.
//
// Thread: made on any thread; hear() and say() run on the simulator's clock thread, from
// the call's audio device.

#include "platform/Status.h"
#include "platform/fax/FaxPage.h"

#include <QtGlobal>

#include <memory>

namespace orvane::sim {

class SimFaxCaller {
public:
    static constexpr int kPages = 3;
    static constexpr int kPageRows = 600;
    // The rows of each page (numbered from 1) that go out malformed, first to last.
    struct Damage {
        int firstRow = 0;
        int lastRow = -1;
    };
    static constexpr Damage kDamage[kPages] = {{0, -1}, {200, 208}, {20, kPageRows - 20}};

    // Page `number` (from 1) as the machine has it, before its fault.
    static fax::FaxPage page(int number);

    // `faulty`: with the damage above; without it, every page goes out sound (a fax machine
    // that calls an answering line).
    static Result<std::unique_ptr<SimFaxCaller>> create(bool faulty = true);
    ~SimFaxCaller();
    SimFaxCaller(const SimFaxCaller&) = delete;
    SimFaxCaller& operator=(const SimFaxCaller&) = delete;

    // `count` mu-law bytes from the line.
    void hear(const quint8* in, qsizetype count);
    // `count` mu-law bytes to the line.
    void say(quint8* out, qsizetype count);

private:
    SimFaxCaller();
    struct Machine;
    std::unique_ptr<Machine> m_machine;
};

} // namespace orvane::sim
