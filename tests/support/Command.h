#pragma once

// Runs a program for a test to its end: true when it exits 0. Otherwise `problem` holds
// the command and what it said (its output and errors together).

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace orvane::test {

struct CommandOptions {
    QString workingDirectory; // empty: the test's
    QByteArray input;         // written to its standard input, then closed
    int timeoutMs = 30000;
    QString* output = nullptr; // what it said, also when it succeeded
};

bool runCommand(const QString& program, const QStringList& arguments, QString* problem,
                const CommandOptions& options = {});

} // namespace orvane::test
