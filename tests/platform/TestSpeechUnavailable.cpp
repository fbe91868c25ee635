// A machine whose speech engine cannot start: creating the speech service fails with the
// cannot-create error, which the line server reports as "Unable To Play File/Message".

#include "platform/speech/Speech.h"

#include <QTemporaryDir>
#include <QTest>

using namespace orvane;

class TestSpeechUnavailable : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void creatingFailsWithCannotCreate()
    {
        QTemporaryDir empty; // holds no espeak-ng-data
        qputenv("ORVANE_ESPEAK_DATA", QFile::encodeName(empty.path()));
        Result<std::unique_ptr<Speech>> speech = createSpeech();
        QVERIFY(!speech.isOk());
        QCOMPARE(speech.status().code(), err::CannotCreate);
        // And it stays so: the engine is started once per process.
        QCOMPARE(createSpeech().status().code(), err::CannotCreate);
    }
};

QTEST_GUILESS_MAIN(TestSpeechUnavailable)
#include "TestSpeechUnavailable.moc"
