// The demo panel: three meters fed by a simulated process value.
//
//   quellix-demo                      runs the panel
//   quellix-demo --snapshot FILE [--after SECONDS]
//                                     renders the window into FILE after the
//                                     given time (default 3 s) and exits; works
//                                     without a display (offscreen platform)

#include "quellix.h"
#include "storefiles.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QGridLayout>
#include <QLabel>
#include <QRandomGenerator>
#include <QTimer>
#include <QWidget>

#include <cmath>
#include <cstdio>
#include <cstring>

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
        quellix::store::setInformationHandler([](const QString &text, const QString &title) {
            std::printf("%s: %s\n", qPrintable(title), qPrintable(text));
        });
    }

    QWidget window;
    window.setObjectName(QStringLiteral("f_DEMO"));
    window.setWindowTitle(QStringLiteral("Quellix demo panel"));
    auto *grid = new QGridLayout(&window);

    QList<Quellix *> meters;
    for (int i = 0; i < 3; ++i) {
        auto *m = new Quellix(&window);
        m->setObjectName(QStringLiteral("Meter%1").arg(i + 1));
        m->setMinimumSize(176, 176);
        m->initProperties();
        grid->addWidget(m, 0, i);
        meters << m;
    }

    // A slow wave with some noise, a different phase per meter.
    double t = 0;
    QTimer feed;
    QObject::connect(&feed, &QTimer::timeout, [&] {
        t += 0.1;
        for (int i = 0; i < meters.size(); ++i) {
            const double wave = 55 + 50 * std::sin(t / 6.0 + i * 2.1);
            const double noise = (QRandomGenerator::global()->generateDouble() - 0.5) * 2.0;
            try {
                meters[i]->setInputValue(wave + noise);
            } catch (const std::exception &e) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(meters[i]->objectName()), e.what());
            }
        }
    });
    feed.start(100);

    window.resize(600, 220);
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
