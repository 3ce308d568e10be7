// The logger against the panel under the same load: 1,000 controls of one
// form on udp://, fed 1,000 values a second in all (100 datagrams of 10
// lines a second, each control once a second) over loopback, for 10 s.
// The CPU of each program comes from /proc/PID/stat; the counters give
// both in cores and the logger's share of the panel's.

#include "benchsupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QUdpSocket>

#include <signal.h>

namespace {

constexpr int kControls = 1000;

QString writeForm(const QString &dir)
{
    QString xml = QStringLiteral("<ui version=\"4.0\"><class>F</class><widget class=\"QWidget\" name=\"F\">"
                                 "<layout class=\"QGridLayout\" name=\"g\">");
    for (int i = 0; i < kControls; ++i)
        xml += QStringLiteral("<item row=\"%1\" column=\"%2\"><widget class=\"Quellix\" name=\"M%3\">"
                              "<property name=\"channel\" stdset=\"0\"><string>udp://</string></property></widget></item>")
                   .arg(i / 40).arg(i % 40).arg(i);
    xml += QStringLiteral("</layout></widget></ui>");
    const QString path = dir + QStringLiteral("/form.ui");
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(xml.toUtf8());
    return path;
}

// User and system CPU seconds of a process so far.
double cpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = f.readAll();
    // Fields after the command name in parentheses: utime and stime are
    // the 14th and 15th of the line.
    const QList<QByteArray> rest = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (rest.size() < 13)
        return 0;
    return (rest[11].toDouble() + rest[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

quint16 freeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

// Runs a program on the form in a fresh store directory, waits until its
// start-up work is done (a second using under 5 % of a core), then feeds
// it for 10 s. Its cores in use while fed; negative when it failed.
double fedCores(const QString &program, const QString &dir)
{
    const QString form = writeForm(dir);
    const quint16 port = freeUdpPort();
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir);
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(program, {form, QStringLiteral("--store"), dir, QStringLiteral("--udp"), QString::number(port)});
    if (!p.waitForStarted())
        return -1;
    const qint64 pid = p.processId();
    QElapsedTimer settle;
    settle.start();
    for (double last = cpuSeconds(pid);;) {
        QTest::qWait(1000);
        const double now = cpuSeconds(pid);
        if (now - last < 0.05 || settle.elapsed() > 300000)
            break;
        last = now;
    }
    QUdpSocket sender;
    const double cpu0 = cpuSeconds(pid);
    QElapsedTimer wall;
    wall.start();
    int tick = 0;
    while (wall.elapsed() < 10000) {
        // Ten datagrams of ten lines every 100 ms: each control once a second.
        for (int d = 0; d < 10; ++d) {
            QByteArray data;
            for (int k = 0; k < 10; ++k) {
                const int control = (tick * 100 + d * 10 + k) % kControls;
                data += "M" + QByteArray::number(control) + " " + QByteArray::number(tick % 100) + "\n";
            }
            sender.writeDatagram(data, QHostAddress::LocalHost, port);
        }
        ++tick;
        const qint64 due = qint64(tick) * 100;
        while (wall.elapsed() < due)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    const double cores = (cpuSeconds(pid) - cpu0) / (wall.elapsed() / 1000.0);
    ::kill(pid_t(pid), SIGTERM);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    return p.exitCode() == 0 ? cores : -1;
}

void BM_Logger1000ControlsVsPanel(benchmark::State &state)
{
    for (auto _ : state) {
        QTemporaryDir logger, panel;
        const double l = fedCores(QStringLiteral(QUELLIX_LOGGER_EXE), logger.path());
        const double p = fedCores(QStringLiteral(QUELLIX_PANEL_EXE), panel.path());
        if (l < 0 || p < 0) {
            state.SkipWithError("a program failed to run or to end");
            return;
        }
        state.counters["logger_cores"] = l;
        state.counters["panel_cores"] = p;
        state.counters["logger_to_panel"] = p > 0 ? l / p : 0;
    }
}
BENCHMARK(BM_Logger1000ControlsVsPanel)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

} // namespace

QUELLIX_BENCHMARK_MAIN()
