// The operator panel: a 100-control form loaded, registered and shown on a
// fresh directory; 200 controls fed over UDP on loopback at 100 values a
// second each; 100 controls on one Modbus server polled every 100 ms.

#include "benchsupport.h"
#include "channels.h"
#include "panelform.h"

#include <quellix/quellix.h>

#include <QElapsedTimer>
#include <QFile>
#include <QModbusTcpServer>
#include <QTcpServer>
#include <QTest>
#include <QUdpSocket>

#include <algorithm>
#include <sys/resource.h>

namespace {

QString writeForm(const QString &dir, int n, const std::function<QString(int)> &channel)
{
    QString xml = QStringLiteral("<ui version=\"4.0\"><class>F</class><widget class=\"QWidget\" name=\"F\">"
                                 "<layout class=\"QGridLayout\" name=\"g\">");
    for (int i = 0; i < n; ++i)
        xml += QStringLiteral("<item row=\"%1\" column=\"%2\"><widget class=\"Quellix\" name=\"M%3\">"
                              "<property name=\"channel\" stdset=\"0\"><string>%4</string></property></widget></item>")
                   .arg(i / 20).arg(i % 20).arg(i).arg(channel(i).toHtmlEscaped());
    xml += QStringLiteral("</layout></widget></ui>");
    const QString path = dir + QStringLiteral("/form.ui");
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(xml.toUtf8());
    return path;
}

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void BM_Load100ControlsFreshDir(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        benchsupport::ScratchDir dir;
        const QString path = writeForm(dir.path(), 100, [](int) { return QStringLiteral("sim://sine"); });
        channels::Reporter report([](const QString &) {});
        state.ResumeTiming();
        QString error;
        auto form = panel::loadForm(path, &error);
        panel::registerControls(panel::controlsOf(form.get()), report);
        form->show();
        QCoreApplication::processEvents();
        state.PauseTiming();
        form.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Load100ControlsFreshDir)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// 200 controls, 100 values a second each, 20 datagrams of 10 lines every
// 10 ms; latency from a datagram's send to its values written.
void BM_Udp200ControlsAt100Hz(benchmark::State &state)
{
    benchsupport::ScratchDir dir;
    const int n = 200;
    const QString path = writeForm(dir.path(), n, [](int) { return QStringLiteral("udp://"); });
    channels::Reporter report([](const QString &) {});
    QString error;
    auto form = panel::loadForm(path, &error);
    const QList<Quellix *> controls = panel::controlsOf(form.get());
    panel::registerControls(controls, report);
    channels::Channels::Options options;
    options.udpAnyPort = true;
    channels::Channels channels(options, [](const QString &) {});
    channels.bind(panel::channelTargets(controls));
    form->show();
    QUdpSocket sender;
    std::vector<double> latencies;
    QElapsedTimer clock;
    clock.start();
    qint64 lastSend = 0;
    QObject::connect(&channels, &channels::Channels::valuesDelivered, [&] {
        latencies.push_back((clock.nsecsElapsed() - lastSend) / 1e6);
    });
    for (auto _ : state) {
        const double cpu0 = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        int tick = 0;
        while (wall.elapsed() < 3000) {
            lastSend = clock.nsecsElapsed();
            for (int d = 0; d < n / 10; ++d) {
                QByteArray data;
                for (int k = 0; k < 10; ++k)
                    data += "M" + QByteArray::number(d * 10 + k) + " " + QByteArray::number(tick % 100) + "\n";
                sender.writeDatagram(data, QHostAddress::LocalHost, channels.udpPort());
            }
            ++tick;
            const qint64 due = qint64(tick) * 10;
            while (wall.elapsed() < due)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
        QTest::qWait(50);
        state.counters["cpu_cores"] = (cpuSeconds() - cpu0) / (wall.elapsed() / 1000.0);
        state.counters["values_per_s"] = tick * n / (wall.elapsed() / 1000.0);
        bool last = std::all_of(controls.begin(), controls.end(),
                                [&](Quellix *c) { return c->DisplayValue() == double((tick - 1) % 100); });
        state.counters["last_value_kept"] = last ? 1 : 0;
    }
    std::sort(latencies.begin(), latencies.end());
    if (!latencies.empty())
        state.counters["p99_ms"] = latencies[size_t(latencies.size() * 0.99)];
}
BENCHMARK(BM_Udp200ControlsAt100Hz)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// 100 int16 controls at holding 0..99 of one in-process server, 100 ms poll.
void BM_Modbus100ControlsPoll100ms(benchmark::State &state)
{
    benchsupport::ScratchDir dir;
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    QModbusTcpServer server;
    QModbusDataUnitMap map;
    map.insert(QModbusDataUnit::HoldingRegisters, {QModbusDataUnit::HoldingRegisters, 0, 100});
    server.setMap(map);
    server.setServerAddress(1);
    server.setConnectionParameter(QModbusDevice::NetworkAddressParameter, QStringLiteral("127.0.0.1"));
    server.setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
    server.connectDevice();
    const QString path = writeForm(dir.path(), 100, [port](int i) {
        return QStringLiteral("modbus+tcp://127.0.0.1:%1/1/holding/%2?type=int16&poll=100").arg(port).arg(i);
    });
    channels::Reporter report([](const QString &) {});
    QString error;
    auto form = panel::loadForm(path, &error);
    const QList<Quellix *> controls = panel::controlsOf(form.get());
    panel::registerControls(controls, report);
    channels::Channels channels(channels::Channels::Options{}, [](const QString &) {});
    channels.bind(panel::channelTargets(controls));
    form->show();
    QTest::qWait(500);
    for (auto _ : state) {
        const quint64 r0 = channels.modbusRequests();
        const double cpu0 = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QTest::qWait(3000);
        const double polls = wall.elapsed() / 100.0;
        state.counters["requests_per_poll"] = (channels.modbusRequests() - r0) / polls;
        state.counters["cpu_cores_incl_server"] = (cpuSeconds() - cpu0) / (wall.elapsed() / 1000.0);
    }
}
BENCHMARK(BM_Modbus100ControlsPoll100ms)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace

QUELLIX_BENCHMARK_MAIN()
