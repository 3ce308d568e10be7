// quellix-logger: runs the Quellix controls of a Designer form without any
// display.
//
// Each control of the form becomes an engine of the same name, registered
// in the store (with its first-run setup when its name is new) and fed from
// the channel named by its "channel" property, so the limits, samples and
// system records of a plant are kept where no operator panel runs. Nobody
// is there to answer a window: stand-by messages go to standard error,
// prompts are written to standard output; event programs are started.
// SIGINT or SIGTERM ends it after the run-time save of every engine, which
// records "Shut Down" when system logging is on.

#include "channels.h"
#include "formreader.h"
#include "setup.h"
#include "udpoption.h"
#include "storeoption.h"
#include "termination.h"

#include <quellix/engine.h>
#include <quellix/store.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// One line of standard output: a request the operator would have seen.
void writeLine(const QString &text)
{
    QString line = text;
    line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    std::fprintf(stdout, "%s\n", qPrintable(line));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quellix-logger"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs the Quellix controls of a Qt Designer form without a display: limits, samples and system "
        "records go into the store as with the operator panel.\n\n"
        "Each Quellix control of FORM.ui reads the channel named by its string property \"channel\":\n"
        "  sim://sine|ramp|step|random?period=S&min=A&max=B&noise=N&seed=K&phase=DEG\n"
        "  udp://        lines \"NAME VALUE\" on the --udp port (NAME is the control's objectName)\n"
        "  stdin://      the same lines on standard input\n"
        "  modbus+tcp://HOST:PORT/UNIT/holding|input|coil|discrete/ADDRESS"
        "?type=int16|uint16|int32|uint32|float32&order=abcd|cdab|badc|dcba&poll=MS\n"
        "A control met for the first time takes its string property \"setup\" (\"Key=Value; ...\") as its "
        "first settings. An alarm prompt is written to standard output as \"PROMPT <caption>: <text>\"; event "
        "programs are started; stand-by messages and problems go to standard error. "
        "SIGINT or SIGTERM saves every control and ends the program."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("FORM.ui"), QStringLiteral("The form whose controls to run."));
    QCommandLineOption udpOpt(QStringLiteral("udp"),
                              QStringLiteral("Listen for udp:// lines on PORT of ADDRESS (default 127.0.0.1)."),
                              QStringLiteral("[ADDRESS:]PORT"));
    QCommandLineOption storeOpt(QStringLiteral("store"),
                                QStringLiteral("Store directory, or a PostgreSQL server postgresql://HOST:PORT/DB "
                                               "(user and password from PGUSER, PGPASSFILE or the service file; "
                                               "default: the current directory)."),
                                QStringLiteral("LOCATION"));
    parser.addOptions({udpOpt, storeOpt});
    parser.process(app);

    channels::Reporter report;
    if (parser.positionalArguments().size() != 1) {
        std::fprintf(stderr, "quellix-logger: one form is needed (see --help)\n");
        return 2;
    }
    channels::Channels::Options options;
    if (parser.isSet(udpOpt)
        && !host::parseUdpOption(parser.value(udpOpt), &options.udpAddress, &options.udpPort)) {
        std::fprintf(stderr, "quellix-logger: --udp \"%s\" is not [ADDRESS:]PORT\n", qPrintable(parser.value(udpOpt)));
        return 2;
    }

    QString error;
    const QString formPath = QFileInfo(parser.positionalArguments().first()).absoluteFilePath();
    const std::optional<QList<host::FormControl>> form = host::readFormFile(formPath, &error);
    if (!form) {
        std::fprintf(stderr, "quellix-logger: %s\n", qPrintable(error));
        return 1;
    }

    // Every engine keeps its stores at LOCATION, chosen before the first
    // one registers; without --store it is the current directory.
    if (parser.isSet(storeOpt)) {
        QString why;
        if (!host::chooseStoreLocation(parser.value(storeOpt), &why)) {
            std::fprintf(stderr, "quellix-logger: %s\n", qPrintable(why));
            return 2;
        }
    }

    // Nobody is there to close a stand-by message: it is written and the
    // store goes on at once.
    quellix::setInformationHandler([](const QString &text, const QString &title) {
        std::fprintf(stderr, "quellix-logger: %s: %s\n", qPrintable(title), qPrintable(text));
        std::fflush(stderr);
    });

    // A reader of standard output that went away must not end the program
    // before the engines are saved: a failed write is all that happens.
    ::signal(SIGPIPE, SIG_IGN);
    const std::unique_ptr<QSocketNotifier> signalNotifier =
        host::catchTerminationSignals([] { QCoreApplication::exit(0); });
    if (!signalNotifier) {
        std::fprintf(stderr, "quellix-logger: SIGINT and SIGTERM will not save the controls: %s\n",
                     std::strerror(errno));
    }

    // One engine per control of the form, named as in the form. What an
    // engine asks of an operator or a speaker has nobody to go to: prompts
    // are written out, alarm sounds are not played. Event programs start as
    // from the panel's controls.
    std::vector<std::unique_ptr<quellix::Engine>> engines;
    QList<channels::Target> targets;
    for (const host::FormControl &control : *form) {
        auto engine = std::make_unique<quellix::Engine>();
        quellix::Engine *e = engine.get();
        e->setObjectName(control.name);
        const QString name = control.name;
        QObject::connect(e, &quellix::Engine::errorOccurred, e, [name, &report](const QString &what, const QString &message) {
            report(QStringLiteral("%1: %2: %3").arg(name, what, message));
        });
        QObject::connect(e, &quellix::Engine::promptRequested, e, [](const quellix::PromptRequest &prompt) {
            writeLine(QStringLiteral("PROMPT %1: %2").arg(prompt.caption, prompt.text));
        });
        QObject::connect(e, &quellix::Engine::programRequested, e, [name, &report](const QString &commandLine) {
            if (!quellix::startProgram(commandLine))
                report(QStringLiteral("%1: event program \"%2\" could not be started").arg(name, commandLine));
        });
        host::registerWithSetup(e, control.setup, report);
        targets.append(channels::Target{name, control.channel, e, [e](double v) { e->setValue(v); }, {}});
        engines.push_back(std::move(engine));
    }

    channels::Channels feeds(options);
    feeds.bind(targets);

    const int rc = app.exec();
    feeds.stop();
    for (const auto &engine : engines)
        engine->save(); // never throws
    return rc;
}
