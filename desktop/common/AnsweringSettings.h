#pragma once

// The answering settings of the whole program: how every line answers. Set to their
// defaults at every start; the dialogs change single fields; each Start copies the record
// into every new line object. Nothing of it is saved.
//
// Thread: the user-interface thread.

#include <QString>

namespace orvane {

struct AnsweringSettingsRecord {
    qint16 Rings = 3;      // rings before a call is answered
    qint16 RecordTime = 5; // seconds of the caller's message to record
    QString PlayType;      // "FILE": play PlayFile; "MESS": speak PlayMessage
    QString PlayFile;      // greeting wave file
    QString PlayMessage;   // text message to speak
    qint16 Volume = 50;    // speech volume
    qint16 Rate = 0;       // speech rate
    qint16 Voice = 0;      // position of the speech voice among the installed voices
};

inline AnsweringSettingsRecord AnsweringSettings;

// The defaults, with `greetingFile` as the greeting.
void resetAnsweringSettings(const QString& greetingFile);

} // namespace orvane
