// The operator panel with real parts: forms loaded through QUiLoader,
// controls registered in a temporary store directory, UDP datagrams on
// loopback, a QModbusTcpServer on a loopback port, and the quellix-panel
// program itself ended by SIGTERM.

#include "channels.h"
#include "formxml.h"
#include "panelform.h"
#include "testsupport.h"

#include <quellix/quellix.h>
#include <quellix/store.h>

#include <QModbusTcpServer>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <csignal>

using namespace panel;
using testforms::formXml;
using channels::Channels;
using channels::Reporter;
using channels::ModbusType;
using channels::encodeRegisters;
using channels::parseChannel;

namespace {

std::unique_ptr<QWidget> loadXml(const QString &dir, const QString &xml)
{
    const QString path = testforms::writeForm(dir, xml);
    if (path.isEmpty())
        return nullptr;
    QString error;
    auto form = loadForm(path, &error);
    if (!form)
        qWarning("%s", qPrintable(error));
    return form;
}

Quellix *control(QWidget *form, const char *name)
{
    return form->findChild<Quellix *>(QLatin1String(name));
}

quint16 freeTcpPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A Modbus server that counts the requests it answers.
class CountingServer : public QModbusTcpServer
{
public:
    int requests = 0;

protected:
    QModbusResponse processRequest(const QModbusPdu &request) override
    {
        ++requests;
        return QModbusTcpServer::processRequest(request);
    }
};

void setHolding(QModbusServer &server, int address, const QList<uint16_t> &regs)
{
    for (int i = 0; i < regs.size(); ++i)
        server.setData(QModbusDataUnit::HoldingRegisters, quint16(address + i), regs[i]);
}

} // namespace

class TestPanel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The shipped form: at least six controls, each registered in the store
    // directory with its first-run setup, one descending, one recording, and
    // one reaching an alarm range at once on its simulator.
    void defaultFormRegistersAndRuns()
    {
        testsupport::StoreDir dir;
        QString error;
        auto form = loadForm(QStringLiteral(QUELLIX_PANELS_DIR "/boiler-house.ui"), &error);
        QVERIFY2(form, qPrintable(error));
        const QList<Quellix *> controls = controlsOf(form.get());
        QVERIFY(controls.size() >= 6);
        QStringList messages;
        Reporter report([&](const QString &m) { messages << m; });
        registerControls(controls, report);
        QCOMPARE(messages, QStringList());

        int descending = 0, recording = 0;
        for (Quellix *c : controls) {
            const QVariantMap row = testsupport::settingsRow(dir.path(), c->objectName());
            QCOMPARE(row.value(QStringLiteral("Control Name")).toString(), c->objectName());
            QVERIFY2(parseChannel(c->property("channel").toString(), &error), qPrintable(error));
            descending += !c->Ascending() && row.value(QStringLiteral("Direction")).toString() != u"Ascending";
            recording += row.value(QStringLiteral("Log Displayed Every")).toBool();
        }
        QVERIFY(descending >= 1);
        QVERIFY(recording >= 1);

        Channels channels(Channels::Options{}, [&](const QString &m) { messages << m; });
        channels.bind(channelTargets(controls));
        form->show();
        QSet<quellix::Range> alarms{quellix::Range::Warning, quellix::Range::Caution, quellix::Range::Upper,
                                    quellix::Range::Lower};
        QTRY_VERIFY_WITH_TIMEOUT(std::any_of(controls.begin(), controls.end(),
                                             [&](Quellix *c) { return alarms.contains(c->currentRange()); }),
                                 5000);
        for (Quellix *c : controls)
            QVERIFY2(c->linkUp(), qPrintable(c->objectName()));
        QCOMPARE(messages, QStringList());
    }

    // Lines on loopback reach the named controls, the scan logs the limit,
    // bad lines and bad addresses are reported and change nothing.
    void udpLinesEndToEnd()
    {
        testsupport::StoreDir dir;
        const QString setup = QStringLiteral("Log Warning Reaching=yes; Scanrate=100");
        auto form = loadXml(dir.path(), formXml({{"Kettle", "udp://?timeout=0.6", setup},
                                                 {"Pump", "udp://", setup},
                                                 {"Broken", "udp://somehost:99", QString()},
                                                 {"Silent", QString(), QString()}}));
        QVERIFY(form);
        QStringList messages;
        Reporter report([&](const QString &m) { messages << m; });
        registerControls(controlsOf(form.get()), report);
        Channels::Options options;
        options.udpAnyPort = true;
        Channels channels(options, [&](const QString &m) { messages << m; });
        channels.bind(channelTargets(controlsOf(form.get())));
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].startsWith(u"Broken: ") && messages[0].contains(u"udp://somehost:99"),
                 qPrintable(messages[0]));
        messages.clear();
        QVERIFY(channels.udpPort() != 0);
        form->show();

        Quellix *kettle = control(form.get(), "Kettle");
        Quellix *pump = control(form.get(), "Pump");
        QVERIFY(!kettle->linkUp());
        QUdpSocket sender;
        auto send = [&](const QByteArray &d) {
            QCOMPARE(sender.writeDatagram(d, QHostAddress::LocalHost, channels.udpPort()), qint64(d.size()));
        };
        // Several lines in one datagram, the last of a control's burst wins.
        QByteArray burst;
        for (int i = 1; i <= 40; ++i)
            burst += "Pump " + QByteArray::number(i) + "\n";
        send("Kettle 95.5\r\n" + burst + "Pump 41.25");
        QTRY_COMPARE(kettle->DisplayValue(), 95.5);
        QTRY_COMPARE(pump->DisplayValue(), 41.25);
        QVERIFY(kettle->linkUp() && pump->linkUp());
        QTRY_VERIFY_WITH_TIMEOUT(!testsupport::logRowsWhere(dir.path(), QStringLiteral("Type"), QStringLiteral("LIMIT"))
                                      .isEmpty(),
                                 5000);
        const auto limits = testsupport::logRowsWhere(dir.path(), QStringLiteral("Type"), QStringLiteral("LIMIT"));
        QCOMPARE(limits.first().value(QStringLiteral("Control")).toString(), QStringLiteral("Kettle"));

        // One message per bad line, naming it; values stay as they were.
        send("Kettle 1,5\nNobody 3\nKettle\nKettle nan\n");
        QTRY_COMPARE(messages.size(), 4);
        QVERIFY2(messages[0].contains(u"Kettle 1,5"), qPrintable(messages[0]));
        QVERIFY2(messages[1].contains(u"Nobody"), qPrintable(messages[1]));
        QVERIFY2(messages[2].contains(u"\"Kettle\""), qPrintable(messages[2]));
        QVERIFY2(messages[3].contains(u"Kettle nan"), qPrintable(messages[3]));
        QCOMPARE(kettle->DisplayValue(), 95.5);
        QVERIFY(!control(form.get(), "Silent")->linkUp());

        // Without values for its timeout the link dims; the value stays.
        QTRY_VERIFY_WITH_TIMEOUT(!kettle->linkUp(), 3000);
        QCOMPARE(kettle->DisplayValue(), 95.5);
        send("Kettle 12\n");
        QTRY_VERIFY(kettle->linkUp());
        QTRY_COMPARE(kettle->DisplayValue(), 12.0);
    }

    // Modbus TCP: values follow the server's registers, one request per
    // contiguous block and poll, a dim link with the value kept while the
    // server is gone, and a reconnect when it is back.
    void modbusFollowsLosesAndReconnects()
    {
        testsupport::StoreDir dir;
        const quint16 port = freeTcpPort();
        QVERIFY(port != 0);
        const QString base = QStringLiteral("modbus+tcp://127.0.0.1:%1/1/").arg(port);
        auto form = loadXml(dir.path(), formXml({{"Flow", base + "holding/10?type=float32&poll=100", QString()},
                                                 {"Level", base + "holding/12?type=int16&poll=100", QString()},
                                                 {"Bits", base + "coil/3?poll=100", QString()}}));
        QVERIFY(form);
        QStringList messages;
        Reporter report([&](const QString &m) { messages << m; });
        registerControls(controlsOf(form.get()), report);

        auto server = std::make_unique<CountingServer>();
        auto startServer = [&](CountingServer &s) {
            QModbusDataUnitMap map;
            map.insert(QModbusDataUnit::HoldingRegisters, {QModbusDataUnit::HoldingRegisters, 0, 32});
            map.insert(QModbusDataUnit::Coils, {QModbusDataUnit::Coils, 0, 8});
            s.setMap(map);
            s.setServerAddress(1);
            s.setConnectionParameter(QModbusDevice::NetworkAddressParameter, QStringLiteral("127.0.0.1"));
            s.setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
            return s.connectDevice();
        };
        QVERIFY(startServer(*server));
        setHolding(*server, 10, encodeRegisters(73.25, ModbusType::Float32, QStringLiteral("abcd")));
        setHolding(*server, 12, encodeRegisters(-120, ModbusType::Int16, QStringLiteral("abcd")));
        server->setData(QModbusDataUnit::Coils, 3, 1);

        Channels::Options options;
        options.reconnectMinMs = 100;
        options.reconnectMaxMs = 400;
        Channels channels(options, [&](const QString &m) { messages << m; });
        channels.bind(channelTargets(controlsOf(form.get())));
        Quellix *flow = control(form.get(), "Flow");
        Quellix *level = control(form.get(), "Level");
        QTRY_COMPARE(flow->DisplayValue(), 73.25);
        QTRY_COMPARE(level->DisplayValue(), -120.0);
        QTRY_COMPARE(control(form.get(), "Bits")->DisplayValue(), 1.0);
        QVERIFY(flow->linkUp() && level->linkUp());

        setHolding(*server, 10, encodeRegisters(-8.5, ModbusType::Float32, QStringLiteral("abcd")));
        setHolding(*server, 12, encodeRegisters(300, ModbusType::Int16, QStringLiteral("abcd")));
        QTRY_COMPARE(flow->DisplayValue(), -8.5);
        QTRY_COMPARE(level->DisplayValue(), 300.0);

        // Holding 10..12 is one block, coil 3 another: two requests a poll.
        const int before = server->requests;
        QElapsedTimer t;
        t.start();
        QTest::qWait(1000);
        const int polls = int(t.elapsed() / 100) + 1;
        QVERIFY2(server->requests - before <= 2 * polls && server->requests - before >= polls,
                 qPrintable(QStringLiteral("%1 requests in %2 polls").arg(server->requests - before).arg(polls)));

        server.reset(); // the server goes away
        QTRY_VERIFY_WITH_TIMEOUT(!flow->linkUp() && !level->linkUp(), 5000);
        QCOMPARE(flow->DisplayValue(), -8.5);
        QCOMPARE(level->DisplayValue(), 300.0);
        QVERIFY(std::any_of(messages.begin(), messages.end(),
                            [](const QString &m) { return m.contains(u"unreachable") && m.contains(u"Flow"); }));

        CountingServer again;
        QVERIFY(startServer(again));
        setHolding(again, 10, encodeRegisters(5.5, ModbusType::Float32, QStringLiteral("abcd")));
        QTRY_VERIFY_WITH_TIMEOUT(flow->linkUp(), 5000);
        QTRY_COMPARE(flow->DisplayValue(), 5.5);
        QTRY_COMPARE(level->DisplayValue(), 0.0);
    }

    // The program: SIGTERM while a stand-by message is open ends it at once
    // and cleanly; SIGTERM on a running panel saves every control.
    void sigtermEndsTheProgramAndSaves()
    {
        testsupport::StoreDir dir;
        QProcess panel;
        panel.setProgram(QStringLiteral(QUELLIX_PANEL_EXE));
        panel.setArguments({QStringLiteral("--store"), dir.path()});
        // Started elsewhere: the stores go where --store says.
        QTemporaryDir elsewhere;
        panel.setWorkingDirectory(elsewhere.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        panel.setProcessEnvironment(env);

        // Fresh directory: the settings store's stand-by message is modal.
        panel.start();
        QVERIFY(panel.waitForStarted());
        QTest::qWait(1500);
        QCOMPARE(panel.state(), QProcess::Running);
        ::kill(pid_t(panel.processId()), SIGTERM);
        QVERIFY2(panel.waitForFinished(10000), "SIGTERM did not end a panel showing a stand-by message");
        QCOMPARE(panel.exitStatus(), QProcess::NormalExit);
        QCOMPARE(panel.exitCode(), 0);
        const QStringList six{"AT401", "FT120", "LT101", "LT150", "PT310", "TT204"};
        auto shutDowns = [&] {
            QStringList names;
            for (const QVariantMap &row :
                 testsupport::logRowsWhere(dir.path(), QStringLiteral("Event"), QStringLiteral("Shut Down")))
                names << row.value(QStringLiteral("Control")).toString();
            names.sort();
            return names;
        };
        QCOMPARE(shutDowns(), six);

        // The stores exist now: no message; the panel runs, then SIGTERM.
        panel.start();
        QVERIFY(panel.waitForStarted());
        QTest::qWait(2000);
        ::kill(pid_t(panel.processId()), SIGTERM);
        QVERIFY(panel.waitForFinished(10000));
        QCOMPARE(panel.exitCode(), 0);
        QStringList twice = six + six;
        twice.sort();
        QCOMPARE(shutDowns(), twice);
        QCOMPARE(QDir(elsewhere.path()).entryList(QDir::Files), QStringList());
    }
};

QTEST_MAIN(TestPanel)
#include "tst_panel.moc"
