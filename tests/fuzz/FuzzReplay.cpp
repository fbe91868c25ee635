// Runs a fuzz target without libFuzzer, as part of the tests: over every file of its seed
// corpus, then over a fixed series of mutations of them, so that the sanitizer build checks
// the same code the fuzzer drives.
//
//   FuzzReplay_<target> <corpus folder> [mutations]

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <corpus folder> [mutations]\n", argv[0]);
        return 2;
    }
    const int mutations = argc > 2 ? std::atoi(argv[2]) : 2000;
    QList<QByteArray> seeds;
    const QDir corpus(QString::fromLocal8Bit(argv[1]));
    for (const QString& name : corpus.entryList(QDir::Files)) {
        QFile f(corpus.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            seeds.append(f.readAll());
    }
    seeds.append(QByteArray());
    for (const QByteArray& seed : std::as_const(seeds))
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(seed.constData()),
                               size_t(seed.size()));
    QRandomGenerator random(12345); // the same series every run
    for (int i = 0; i < mutations; ++i) {
        QByteArray input = seeds.at(qsizetype(random.bounded(int(seeds.size()))));
        const int edits = 1 + int(random.bounded(8));
        for (int e = 0; e < edits; ++e) {
            const quint32 kind = random.bounded(4);
            const qsizetype at = input.isEmpty() ? 0 : qsizetype(random.bounded(int(input.size())));
            if (kind == 0 && !input.isEmpty())
                input[at] = char(random.bounded(256));
            else if (kind == 1)
                input.insert(at, char(random.bounded(256)));
            else if (kind == 2 && !input.isEmpty())
                input.remove(at, 1 + qsizetype(random.bounded(16)));
            else
                input.insert(at, seeds.at(qsizetype(random.bounded(int(seeds.size())))).left(64));
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.constData()),
                               size_t(input.size()));
    }
    std::printf("%lld inputs, no fault\n", qlonglong(seeds.size() + mutations));
    return 0;
}
