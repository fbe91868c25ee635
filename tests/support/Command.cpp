#include "Command.h"

#include <QProcess>

namespace orvane::test {

bool runCommand(const QString& program, const QStringList& arguments, QString* problem,
                const CommandOptions& options)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (!options.workingDirectory.isEmpty())
        p.setWorkingDirectory(options.workingDirectory);
    p.start(program, arguments);
    if (!p.waitForStarted(5000)) {
        if (problem)
            *problem = QStringLiteral("%1 is not installed (scripts/install-deps installs it)")
                           .arg(program);
        return false;
    }
    p.write(options.input);
    p.closeWriteChannel();
    const bool ok = p.waitForFinished(options.timeoutMs) &&
                    p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    const QString said = QString::fromLocal8Bit(p.readAll());
    if (options.output)
        *options.output = said;
    if (!ok && problem)
        *problem = program + u' ' + arguments.join(u' ') + QStringLiteral(": ") + said;
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(5000);
    }
    return ok;
}

} // namespace orvane::test
