// The logger against the panel under the same load: 1,000 controls of one
// form on udp://, fed 1,000 values a second in all (100 datagrams of 10
// lines a second, each control once a second) over loopback, for 10 s,
// after 3 s registered and idle. The CPU of each program comes from
// /proc/PID/stat; the counters give both in cores and the logger's share
// of the panel's under the load.

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

// Whether a socket of this machine listens on UDP `port` of loopback.
bool udpBound(quint16 port)
{
    QFile f(QStringLiteral("/proc/net/udp"));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray local = "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    return f.readAll().contains(" " + local + " ");
}

quint16 freeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

struct Cores
{
    double idle = -1; ///< registered, nothing fed
    double fed = -1;  ///< under the load
};

// Runs a program on the form in a fresh store directory, waits until every
// control has registered, measures it idle for 3 s, then fed for 10 s.
// Negative figures when it failed to run or to end.
Cores measure(const QString &program, const QString &dir, const QStringList &extra = {})
{
    Cores cores;
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
    p.start(program, QStringList{form, QStringLiteral("--store"), dir, QStringLiteral("--udp"), QString::number(port)} + extra);
    if (!p.waitForStarted())
        return cores;
    const qint64 pid = p.processId();
    QElapsedTimer settle;
    settle.start();
    // Both programs bind the port once every control has registered.
    while (!udpBound(port) && settle.elapsed() < 600000)
        QTest::qWait(200);
    QTest::qWait(2000); // the first showing of a panel
    const double idle0 = cpuSeconds(pid);
    QElapsedTimer idle;
    idle.start();
    QTest::qWait(3000);
    const double idleCores = (cpuSeconds(pid) - idle0) / (idle.elapsed() / 1000.0);
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
    const double fedCores = (cpuSeconds(pid) - cpu0) / (wall.elapsed() / 1000.0);
    ::kill(pid_t(pid), SIGTERM);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return cores;
    }
    if (p.exitCode() == 0)
        cores = Cores{idleCores, fedCores};
    return cores;
}

void BM_Logger1000ControlsVsPanel(benchmark::State &state)
{
    for (auto _ : state) {
        QTemporaryDir loggerDir, panelDir;
        const Cores logger = measure(QStringLiteral(QUELLIX_LOGGER_EXE), loggerDir.path());
        // --quit-after makes the panel unattended: its stand-by messages
        // are written, not shown as windows waiting for an operator.
        const Cores panel = measure(QStringLiteral(QUELLIX_PANEL_EXE), panelDir.path(),
                                    {QStringLiteral("--quit-after"), QStringLiteral("3600")});
        if (logger.fed < 0 || panel.fed < 0) {
            state.SkipWithError("a program failed to run or to end");
            return;
        }
        state.counters["logger_idle_cores"] = logger.idle;
        state.counters["logger_fed_cores"] = logger.fed;
        state.counters["panel_idle_cores"] = panel.idle;
        state.counters["panel_fed_cores"] = panel.fed;
        state.counters["logger_to_panel_fed"] = panel.fed > 0 ? logger.fed / panel.fed : 0;
    }
}
BENCHMARK(BM_Logger1000ControlsVsPanel)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

} // namespace

QUELLIX_BENCHMARK_MAIN()
