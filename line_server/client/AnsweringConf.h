#pragma once

// answering.conf: the lines that answer with no one watching. The line server binds them
// when it starts and on reload, for its whole life; `orvanectl` and the desktop write them.
// $ORVANE_ANSWERING_CONF, or answering.conf in the user's Orvane configuration folder.
//
//   # What a standing line does, one section per line, named as in the list of lines.
//   program_folder = /home/ann/.local/share/Orvane   where recordings and the log go
//                                                      (default: as the desktop's)
//   [Front desk]
//   Rings = 3              1 to 15
//   PlayType = FILE        FILE plays PlayFile; MESS speaks PlayMessage
//   PlayFile = /home/ann/greeting.wav                 (default: the default greeting)
//   PlayMessage = Please leave a message.
//   RecordTime = 5         seconds, 1 to 60
//   Volume = 50            1 to 100
//   Rate = 0               -10 to 10
//   Voice = 0              the position among the installed voices
//
//   [Fax line]
//   Fax = receive          this line receives faxes instead of answering
//   FaxFolder = /home/ann/Faxes
//   FaxPrint = no          yes prints each fax as it comes
//
// Keys are read in any case. A value runs to the end of its line: there are no remarks
// after values (a greeting text may hold a #).

#include "platform/Status.h"

#include <QList>
#include <QString>

namespace orvane::answering {

struct StandingLine {
    QString line;
    enum class Kind { Answer, ReceiveFax } kind = Kind::Answer;
    // Answering, with the desktop's defaults.
    qint16 rings = 3;
    QString playType = QStringLiteral("FILE");
    QString playFile; // empty: the program folder's default greeting
    QString playMessage;
    qint16 recordTime = 5;
    qint16 volume = 50;
    qint16 rate = 0;
    qint16 voice = 0;
    // Receiving faxes.
    QString faxFolder;
    bool faxPrint = false;

    bool operator==(const StandingLine&) const = default;
};

struct AnsweringFile {
    QString programFolder; // empty: the default (defaultProgramFolder())
    QList<StandingLine> lines;

    bool operator==(const AnsweringFile&) const = default;
};

// The largest answering.conf read (a few hundred lines take a few KB).
constexpr qint64 kMaxAnsweringFileBytes = 1024 * 1024;

QString answeringConfigPath();
// $ORVANE_HOME, or Orvane/ in the user's data folder: where the desktop keeps its
// recordings and log, and where standing lines keep theirs unless told otherwise.
QString defaultProgramFolder();

// Every standing line, or the first mistake with its line number.
Result<AnsweringFile> parseAnsweringFile(const QByteArray& text);
// The file at answeringConfigPath(); no lines when there is none. Anything there that is
// not a regular file of at most kMaxAnsweringFileBytes is a mistake.
Result<AnsweringFile> readAnsweringFile();
// The text parseAnsweringFile() reads back as `file`.
QByteArray formatAnsweringFile(const AnsweringFile& file);
// Replaces the file at answeringConfigPath() whole (never half-written), making its folder.
Status writeAnsweringFile(const AnsweringFile& file);

} // namespace orvane::answering
