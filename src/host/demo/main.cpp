// The demo panel: three meters of a small boiler house fed by simulated
// process values.
//
//   quellix-demo                      runs the panel
//   quellix-demo --snapshot FILE [--after SECONDS]
//                                     renders the window into FILE after the
//                                     given time (default 3 s) and exits; works
//                                     without a display (offscreen platform)
//
// The panel is the meters' host. It saves each meter (the run-time save that
// writes the live values back and records "Shut Down") whenever the program
// ends: its window closed, SIGINT or SIGTERM received, or a snapshot taken.
// The store files SETTINGS.MDB and LOG.MDB lie in the current directory.

#include <quellix/quellix.h>
#include <quellix/store.h>

#include <QApplication>
#include <QCloseEvent>
#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// ---------------------------------------------------------------------------
// SIGINT and SIGTERM: the handler only writes a byte into a socket pair;
// the event loop reads it and shuts the panel down like a closed window.

int signalPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[0], &byte, 1);
    errno = saved;
}

bool installTerminationHandlers()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return false;
    struct sigaction sa = {};
    sa.sa_handler = onTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &sa, nullptr) == 0 && ::sigaction(SIGTERM, &sa, nullptr) == 0;
}

// ---------------------------------------------------------------------------
// The meters of the panel and how each is commissioned on its first run.

struct MeterSetup
{
    const char *name;        ///< the control's name and settings row
    const char *caption;     ///< the tag line under the meter
    const char *units;
    bool ascending;
    double lower, caution, warning, upper;
    // the simulated process value: base + amplitude * sin(t / period + phase) + noise
    double base, amplitude, period, phase, noise;
};

// The level and temperature alarm rising; the steam pressure alarms falling
// (descending limits: normal above the caution limit, caution down to the
// warning limit, warning down to the lower limit).
constexpr MeterSetup kMeters[] = {
    {"Meter1", "LT-101  Feed water tank", "%", true, 0, 75, 90, 100, 55, 52, 9.0, 0.0, 1.0},
    {"Meter2", "TT-204  Boiler outlet", "\u00b0C", true, 20, 80, 95, 110, 72, 45, 11.0, 2.0, 0.6},
    {"Meter3", "PT-310  Steam header", "bar", false, 2, 6, 4, 14, 8, 6.5, 7.0, 2.8, 0.15},
};

bool hasSettingsRow(const QString &name)
{
    try {
        return !quellix::settingsField(QDir::currentPath(), name, QStringLiteral("Control Name")).isNull();
    } catch (const std::exception &) {
        return false;
    }
}

// Switches the demo wants on in a new row: system and user logging (so the
// shut down is recorded) and a sample every minute.
void setLogSwitches(const QString &name)
{
    const QString dir = QDir::currentPath();
    quellix::setSettingsField(dir, name, QStringLiteral("Log System Errors"), true);
    quellix::setSettingsField(dir, name, QStringLiteral("Log User Actions"), true);
    quellix::setSettingsField(dir, name, QStringLiteral("Log Displayed Every"), true);
    quellix::setSettingsField(dir, name, QStringLiteral("Log Every Time Interval"), QStringLiteral("1 Minute"));
}

// A meter met for the first time gets the demo's units, limits and log
// switches; one that has its row keeps whatever the operator configured.
void commission(Quellix &m, const MeterSetup &setup)
{
    m.setUnits(QString::fromUtf8(setup.units));
    m.setAscending(setup.ascending);
    m.setLowerLimit(setup.lower);
    m.setCautionLimit(setup.caution);
    m.setWarningLimit(setup.warning);
    m.setUpperLimit(setup.upper);
    setLogSwitches(m.objectName());
    m.readProperties();
}

/// The panel window; tells its owner when the operator closes it.
class Panel : public QWidget
{
public:
    std::function<void()> onClose;

protected:
    void closeEvent(QCloseEvent *e) override
    {
        if (onClose)
            onClose();
        QWidget::closeEvent(e);
    }
};

QLabel *panelLabel(const QString &text, int points, bool bold, const QColor &colour, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(points);
    f.setBold(bold);
    l->setFont(f);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, colour);
    l->setPalette(pal);
    return l;
}

} // namespace

int main(int argc, char **argv)
{
    // A machine without a display still runs the snapshot.
    bool snapshot = false;
    for (int i = 1; i < argc; ++i)
        snapshot = snapshot || std::strcmp(argv[i], "--snapshot") == 0;
    if (snapshot && qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quellix-demo"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Quellix demo panel"));
    parser.addHelpOption();
    QCommandLineOption snapshotOpt(QStringLiteral("snapshot"), QStringLiteral("Render the window into <file> and exit."),
                                   QStringLiteral("file"));
    QCommandLineOption afterOpt(QStringLiteral("after"), QStringLiteral("Seconds before the snapshot (default 3)."),
                                QStringLiteral("seconds"), QStringLiteral("3"));
    parser.addOption(snapshotOpt);
    parser.addOption(afterOpt);
    parser.process(app);

    // Nobody is there to close a stand-by message during an unattended
    // snapshot: show it on the terminal instead.
    if (parser.isSet(snapshotOpt)) {
        quellix::setInformationHandler([](const QString &text, const QString &title) {
            std::printf("%s: %s\n", qPrintable(title), qPrintable(text));
        });
    }

    if (!installTerminationHandlers())
        std::fprintf(stderr, "quellix-demo: SIGINT and SIGTERM will not save the meters: %s\n", std::strerror(errno));

    Panel window;
    window.setObjectName(QStringLiteral("f_DEMO"));
    window.setWindowTitle(QStringLiteral("Quellix demo panel - Boiler house"));
    window.setAutoFillBackground(true);
    {
        QPalette pal = window.palette();
        pal.setColor(QPalette::Window, QColor(38, 42, 48));
        window.setPalette(pal);
    }
    auto *outer = new QVBoxLayout(&window);
    outer->setContentsMargins(18, 12, 18, 10);
    outer->setSpacing(10);

    auto *header = new QHBoxLayout;
    header->addWidget(panelLabel(QStringLiteral("BOILER HOUSE  -  UNIT 1"), 14, true, QColor(230, 230, 230), &window));
    header->addStretch();
    auto *clock = panelLabel(QString(), 11, false, QColor(150, 200, 255), &window);
    header->addWidget(clock);
    outer->addLayout(header);

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(4);
    outer->addLayout(grid);

    // 240 x 240 pixels: 3600 x 3600 host units, the face at 1.36 times its
    // reference size.
    constexpr int kMeterSide = 240;
    QList<Quellix *> meters;
    for (int i = 0; i < int(std::size(kMeters)); ++i) {
        const MeterSetup &setup = kMeters[i];
        const QString name = QString::fromLatin1(setup.name);
        const bool known = hasSettingsRow(name);
        auto *m = new Quellix(&window);
        m->setObjectName(name);
        m->setFixedSize(kMeterSide, kMeterSide);
        m->initProperties();
        if (!known) {
            try {
                commission(*m, setup);
            } catch (const std::exception &e) {
                std::fprintf(stderr, "%s: commissioning failed: %s\n", qPrintable(name), e.what());
            }
        }
        grid->addWidget(m, 0, i);
        grid->addWidget(panelLabel(QString::fromLatin1(setup.caption), 9, false, QColor(190, 190, 190), &window), 1, i,
                        Qt::AlignHCenter);
        meters << m;
    }

    auto *status = panelLabel(QString(), 9, false, QColor(140, 140, 140), &window);
    outer->addWidget(status);
    auto showClock = [&] {
        clock->setText(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd  hh:mm:ss")));
        status->setText(QStringLiteral("Store: %1   |   Hold freezes a readout, Alarm Reset silences its alarm, "
                                       "Logs opens the log viewer")
                            .arg(QDir::toNativeSeparators(QDir::currentPath())));
    };
    showClock();
    QTimer clockTimer;
    QObject::connect(&clockTimer, &QTimer::timeout, showClock);
    clockTimer.start(1000);

    // The simulated process: a slow wave with some noise per meter.
    double t = 0;
    QTimer feed;
    QObject::connect(&feed, &QTimer::timeout, [&] {
        t += 0.1;
        for (int i = 0; i < meters.size(); ++i) {
            const MeterSetup &setup = kMeters[i];
            const double wave = setup.base + setup.amplitude * std::sin(t / setup.period + setup.phase);
            const double noise = (QRandomGenerator::global()->generateDouble() - 0.5) * 2.0 * setup.noise;
            try {
                meters[i]->setInputValue(wave + noise);
            } catch (const std::exception &e) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(meters[i]->objectName()), e.what());
            }
        }
    });
    feed.start(100);

    // The meters' shut-down point: each is saved once, however the program ends.
    bool saved = false;
    auto saveMeters = [&] {
        if (saved)
            return;
        saved = true;
        feed.stop();
        for (Quellix *m : meters)
            m->writeProperties();
    };
    window.onClose = saveMeters;
    QObject::connect(&app, &QCoreApplication::aboutToQuit, saveMeters);

    std::unique_ptr<QSocketNotifier> signalNotifier;
    if (signalPipe[1] >= 0) {
        signalNotifier = std::make_unique<QSocketNotifier>(signalPipe[1], QSocketNotifier::Read);
        QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, [&] {
            char byte = 0;
            [[maybe_unused]] const ssize_t n = ::read(signalPipe[1], &byte, 1);
            saveMeters();
            app.quit();
        });
    }

    window.show();

    if (parser.isSet(snapshotOpt)) {
        const QString file = parser.value(snapshotOpt);
        const int ms = int(parser.value(afterOpt).toDouble() * 1000);
        QTimer::singleShot(ms, [&] {
            const bool ok = window.grab().save(file);
            std::fprintf(ok ? stdout : stderr, ok ? "snapshot written to %s\n" : "could not write %s\n",
                         qPrintable(file));
            app.exit(ok ? 0 : 1);
        });
    }
    return app.exec();
}
