// quellix-panel: runs an operator panel drawn in Qt Designer.
//
// It loads a .ui form (the built-in boiler house when none is named), sends
// every Quellix control its load notification, so each registers in the
// store directory, shows the form and feeds each control from the channel
// named by its "channel" property. At the end (window closed, SIGINT or
// SIGTERM, also while a modal window is open) it runs the run-time save of
// every control, which records "Shut Down" when system logging is on.

#include "channels.h"
#include "panelform.h"
#include "udpoption.h"
#include "storeoption.h"
#include "termination.h"

#include <quellix/quellix.h>
#include <quellix/store.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDialog>
#include <QDir>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Closes every modal window, innermost first, so their nested loops return.
void closeModalWindows()
{
    for (int i = 0; i < 32; ++i) {
        QWidget *w = QApplication::activeModalWidget();
        if (!w)
            break;
        if (auto *dialog = qobject_cast<QDialog *>(w))
            dialog->reject();
        else
            w->close();
        w->hide();
    }
}

// Watches the form's window for its close.
class CloseWatch : public QObject
{
public:
    std::function<void()> onClose;

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Close && onClose)
            onClose();
        return false;
    }
};

} // namespace

int main(int argc, char **argv)
{
    // A machine without a display still renders the panel offscreen.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quellix-panel"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs an operator panel of Quellix controls drawn in Qt Designer.\n\n"
        "FORM.ui is a Designer form (default: the built-in boiler house on simulated channels). Each Quellix "
        "control reads the channel named by its string property \"channel\":\n"
        "  sim://sine|ramp|step|random?period=S&min=A&max=B&noise=N&seed=K&phase=DEG\n"
        "  udp://        lines \"NAME VALUE\" on the --udp port (NAME is the control's objectName)\n"
        "  stdin://      the same lines on standard input\n"
        "  modbus+tcp://HOST:PORT/UNIT/holding|input|coil|discrete/ADDRESS"
        "?type=int16|uint16|int32|uint32|float32&order=abcd|cdab|badc|dcba&poll=MS\n"
        "A control met for the first time takes its string property \"setup\" (\"Key=Value; ...\") as its "
        "first settings. Controls register in the store directory (SETTINGS.MDB, LOG.MDB) and are saved "
        "when the window closes or on SIGINT/SIGTERM."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("FORM.ui"), QStringLiteral("The form to run."), QStringLiteral("[FORM.ui]"));
    QCommandLineOption udpOpt(QStringLiteral("udp"),
                              QStringLiteral("Listen for udp:// lines on PORT of ADDRESS (default 127.0.0.1)."),
                              QStringLiteral("[ADDRESS:]PORT"));
    QCommandLineOption storeOpt(QStringLiteral("store"),
                                QStringLiteral("Store directory, or a PostgreSQL server postgresql://HOST:PORT/DB "
                                               "(user and password from PGUSER, PGPASSFILE or the service file; "
                                               "default: the current directory)."),
                                QStringLiteral("LOCATION"));
    QCommandLineOption snapshotOpt(QStringLiteral("snapshot"),
                                   QStringLiteral("Render the window into FILE.png after --after seconds, then exit "
                                                  "(unless --quit-after says later)."),
                                   QStringLiteral("FILE.png"));
    QCommandLineOption afterOpt(QStringLiteral("after"), QStringLiteral("Seconds before the snapshot (default 5)."),
                                QStringLiteral("SECONDS"), QStringLiteral("5"));
    QCommandLineOption quitOpt(QStringLiteral("quit-after"),
                               QStringLiteral("Save the controls and exit after SECONDS."), QStringLiteral("SECONDS"));
    parser.addOptions({udpOpt, storeOpt, snapshotOpt, afterOpt, quitOpt});
    parser.process(app);

    channels::Reporter report;
    if (parser.positionalArguments().size() > 1) {
        std::fprintf(stderr, "quellix-panel: one form at most\n");
        return 2;
    }
    const QString formPath = parser.positionalArguments().isEmpty()
        ? QStringLiteral(":/panels/boiler-house.ui")
        : QFileInfo(parser.positionalArguments().first()).absoluteFilePath();

    channels::Channels::Options options;
    if (parser.isSet(udpOpt) && !host::parseUdpOption(parser.value(udpOpt), &options.udpAddress, &options.udpPort)) {
        std::fprintf(stderr, "quellix-panel: --udp \"%s\" is not [ADDRESS:]PORT\n", qPrintable(parser.value(udpOpt)));
        return 2;
    }
    bool ok = true;
    const double after = parser.value(afterOpt).toDouble(&ok);
    if (!ok || after < 0) {
        std::fprintf(stderr, "quellix-panel: --after needs seconds\n");
        return 2;
    }
    double quitAfter = -1;
    if (parser.isSet(quitOpt)) {
        quitAfter = parser.value(quitOpt).toDouble(&ok);
        if (!ok || quitAfter < 0) {
            std::fprintf(stderr, "quellix-panel: --quit-after needs seconds\n");
            return 2;
        }
    }

    // Every control keeps its stores at LOCATION, chosen before the first
    // one registers; without --store it is the current directory.
    if (parser.isSet(storeOpt)) {
        QString why;
        if (!host::chooseStoreLocation(parser.value(storeOpt), &why)) {
            std::fprintf(stderr, "quellix-panel: %s\n", qPrintable(why));
            return 2;
        }
    }

    // Nobody is there to close a stand-by message in an unattended run.
    const bool unattended = parser.isSet(snapshotOpt) || parser.isSet(quitOpt);
    if (unattended) {
        quellix::setInformationHandler([](const QString &text, const QString &title) {
            std::fprintf(stderr, "quellix-panel: %s: %s\n", qPrintable(title), qPrintable(text));
        });
    }

    // Termination: the saves run once, after every modal window is closed
    // and its loop has returned.
    bool terminating = false;
    QList<QPointer<Quellix>> controls;
    bool saved = false;
    auto saveAll = [&] {
        if (saved)
            return;
        saved = true;
        panel::saveControls(controls);
    };
    const std::unique_ptr<QSocketNotifier> signalNotifier = host::catchTerminationSignals([&] {
            terminating = true;
            // No new stand-by message may open a loop nobody ends.
            quellix::setInformationHandler([](const QString &text, const QString &title) {
                std::fprintf(stderr, "quellix-panel: %s: %s\n", qPrintable(title), qPrintable(text));
            });
            closeModalWindows();
            QCoreApplication::exit(0); // leaves every running loop, nested ones too
        });
    if (!signalNotifier) {
        std::fprintf(stderr, "quellix-panel: SIGINT and SIGTERM will not save the controls: %s\n",
                     std::strerror(errno));
    }

    QString error;
    std::unique_ptr<QWidget> form = panel::loadForm(formPath, &error);
    if (!form) {
        std::fprintf(stderr, "quellix-panel: %s\n", qPrintable(error));
        return 1;
    }
    const QList<Quellix *> found = panel::controlsOf(form.get());
    for (Quellix *c : found) {
        controls << c;
        QObject::connect(c, &Quellix::errorOccurred, c, [c, &report](const QString &what, const QString &message) {
            report(QStringLiteral("%1: %2: %3").arg(c->objectName(), what, message));
        });
    }
    panel::registerControls(found, report);
    if (terminating) { // a signal came while a stand-by message was open
        saveAll();
        return 0;
    }

    CloseWatch closeWatch;
    closeWatch.onClose = saveAll;
    form->installEventFilter(&closeWatch);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, saveAll);

    channels::Channels channels(options);
    channels.bind(panel::channelTargets(found));
    form->show();

    if (parser.isSet(snapshotOpt)) {
        const QString file = parser.value(snapshotOpt);
        QTimer::singleShot(int(after * 1000), &app, [&, file] {
            const bool written = form->grab().save(file);
            std::fprintf(written ? stdout : stderr, written ? "snapshot written to %s\n" : "could not write %s\n",
                         qPrintable(file));
            std::fflush(stdout);
            if (!written || quitAfter < 0 || quitAfter <= after)
                QCoreApplication::exit(written ? 0 : 1);
        });
    }
    if (quitAfter >= 0)
        QTimer::singleShot(int(quitAfter * 1000), &app, [] { QCoreApplication::exit(0); });

    const int rc = app.exec();
    channels.stop();
    saveAll();
    return rc;
}
