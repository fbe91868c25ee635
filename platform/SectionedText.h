#pragma once

// Settings files in sections, as lines.conf and answering.conf are written:
//
//   # a comment (also ; at the start of a line)
//   key = value            settings of the whole file, before the first section
//   [Section name]         a section, its name unique in the file
//   key = value            a setting of that section
//
// Keys are read in lower case. Each mistake names the file and the line it is on.

#include "platform/Status.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace orvane {

struct SectionedText {
    struct Entry {
        int lineNo = 0;
        QString key; // lower case
        QString value;
    };
    struct Section {
        int lineNo = 0;
        QString name;
        QList<Entry> entries;
    };
    QList<Entry> head; // before the first section
    QList<Section> sections;
};

struct SectionedTextRules {
    QString fileName; // as mistakes name it: "lines.conf"
    // "value   # remark": the remark is dropped. Off where a value may hold " #".
    bool trailingComments = false;
};

Result<SectionedText> parseSectionedText(const QByteArray& text, const SectionedTextRules& rules);

// The settings file `fileName` of this user: $`environmentVariable` when set, else Orvane/
// in the user's configuration folder (~/.config/Orvane/).
QString userConfigFile(const char* environmentVariable, const QString& fileName);

// A yes/no value (yes, no, true, false, 1, 0; any case) into `out`; false when it is none.
bool readYesNo(const QString& value, bool* out);

// "lines.conf, line 3: what".
Status sectionedTextMistake(const QString& fileName, int lineNo, const QString& what);

} // namespace orvane
