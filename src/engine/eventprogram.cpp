// Event programs: what a limit level starts when its range is entered.

#include "eventprogram.h"

#include "engine.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>

Q_LOGGING_CATEGORY(lcEvent, "quellix.event")

namespace quellix {

namespace {

bool isExecutableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

} // namespace

bool startEventProgram(const QString &commandLine)
{
    try {
        const QString text = commandLine.trimmed();
        if (text.isEmpty())
            return false;

        QString program;
        QStringList arguments;
        if (text.contains(QLatin1Char(' ')) && isExecutableFile(text)) {
            program = text;
        } else {
            arguments = QProcess::splitCommand(text);
            if (arguments.isEmpty())
                return false;
            program = arguments.takeFirst();
        }
        if (program.isEmpty())
            return false;

        // Started directly (fork and exec), never through a shell.
        const bool started = QProcess::startDetached(program, arguments);
        if (!started)
            qCWarning(lcEvent, "event program \"%s\" could not be started", qPrintable(program));
        return started;
    } catch (const std::exception &e) {
        qCWarning(lcEvent, "event program \"%s\" not started: %s", qPrintable(commandLine), e.what());
        return false;
    }
}

} // namespace quellix

bool quellix::startProgram(const QString &commandLine)
{
    return startEventProgram(commandLine);
}
