// The channels' pure rules: channel addresses, value lines, Modbus
// register decoding and request planning, simulated processes.

#include "channelrules.h"

#include <QTest>

#include <cmath>

using namespace channels;

Q_DECLARE_METATYPE(channels::ModbusType)
Q_DECLARE_METATYPE(channels::Block)

using Spans = QList<QPair<int, int>>;

class TestChannelRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void channelAddresses_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("expect"); // a summary of the parse, or "error:" + a word of the reason
        QTest::newRow("sine full") << "sim://sine?period=60&min=0&max=100&noise=0.5" << "sim 0 60 0 100 0.5";
        QTest::newRow("ramp defaults") << "sim://ramp" << "sim 1 60 0 100 0";
        QTest::newRow("step") << "sim://step?period=10" << "sim 2 10 0 100 0";
        QTest::newRow("random seeded") << "sim://random?seed=7&phase=90" << "sim 3 60 0 100 0 seed 7 phase 90";
        QTest::newRow("udp") << "udp://" << "lines 0 5";
        QTest::newRow("stdin timeout") << "stdin://?timeout=2.5" << "lines 1 2.5";
        QTest::newRow("modbus float") << "modbus+tcp://plc1:1502/3/holding/100?type=float32&order=cdab&poll=250"
                                      << "modbus plc1 1502 3 0 100 4 cdab 250";
        QTest::newRow("modbus defaults") << "modbus+tcp://10.0.0.5/1/input/0" << "modbus 10.0.0.5 502 1 1 0 1 abcd 100";
        QTest::newRow("modbus coil") << "modbus+tcp://h:5020/0/coil/7" << "modbus h 5020 0 2 7 1 abcd 100";
        QTest::newRow("modbus discrete") << "modbus+tcp://h/0/discrete/65535" << "modbus h 502 0 3 65535 1 abcd 100";
        QTest::newRow("unknown scheme") << "http://x/" << "error:scheme";
        QTest::newRow("empty") << "  " << "error:empty";
        QTest::newRow("sim unknown shape") << "sim://square" << "error:square";
        QTest::newRow("sim bad number") << "sim://sine?min=abc" << "error:finite";
        QTest::newRow("sim nan") << "sim://sine?max=nan" << "error:finite";
        QTest::newRow("sim comma decimal") << "sim://sine?max=1,5" << "error:finite";
        QTest::newRow("sim zero period") << "sim://sine?period=0" << "error:period";
        QTest::newRow("sim max below min") << "sim://sine?min=5&max=1" << "error:below";
        QTest::newRow("sim unknown key") << "sim://sine?amp=3" << "error:amp";
        QTest::newRow("udp with host") << "udp://localhost:9000" << "error:host";
        QTest::newRow("modbus no host") << "modbus+tcp:///1/holding/0" << "error:host";
        QTest::newRow("modbus short path") << "modbus+tcp://h/1/holding" << "error:path";
        QTest::newRow("modbus bad table") << "modbus+tcp://h/1/registers/0" << "error:table";
        QTest::newRow("modbus bad unit") << "modbus+tcp://h/300/holding/0" << "error:unit";
        QTest::newRow("modbus bad address") << "modbus+tcp://h/1/holding/70000" << "error:address";
        QTest::newRow("modbus past the end") << "modbus+tcp://h/1/holding/65535?type=int32" << "error:past";
        QTest::newRow("modbus bad type") << "modbus+tcp://h/1/holding/0?type=float64" << "error:type";
        QTest::newRow("modbus bad order") << "modbus+tcp://h/1/holding/0?order=aabb" << "error:order";
        QTest::newRow("modbus poll too fast") << "modbus+tcp://h/1/holding/0?poll=1" << "error:poll";
    }
    void channelAddresses()
    {
        QFETCH(QString, url);
        QFETCH(QString, expect);
        QString error;
        const std::optional<Channel> c = parseChannel(url, &error);
        if (expect.startsWith(u"error:")) {
            QVERIFY2(!c, qPrintable(url));
            QVERIFY2(error.contains(expect.mid(6)), qPrintable(error));
            return;
        }
        QVERIFY2(c, qPrintable(error));
        QString got;
        if (const auto *s = std::get_if<SimChannel>(&*c)) {
            got = QStringLiteral("sim %1 %2 %3 %4 %5").arg(int(s->shape)).arg(s->period).arg(s->min).arg(s->max).arg(s->noise);
            if (s->seed)
                got += QStringLiteral(" seed %1").arg(*s->seed);
            if (s->phase)
                got += QStringLiteral(" phase %1").arg(*s->phase);
        } else if (const auto *l = std::get_if<LineChannel>(&*c)) {
            got = QStringLiteral("lines %1 %2").arg(int(l->source)).arg(l->staleSeconds);
        } else if (const auto *m = std::get_if<ModbusChannel>(&*c)) {
            got = QStringLiteral("modbus %1 %2 %3 %4 %5 %6 %7 %8")
                      .arg(m->host).arg(m->port).arg(m->unit).arg(int(m->table)).arg(m->address)
                      .arg(int(m->type)).arg(m->order).arg(m->pollMs);
        }
        QCOMPARE(got, expect);
    }

    void valueLines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("expect"); // "NAME VALUE", "" for a skipped line, or "error:" + a word
        QTest::newRow("plain") << QByteArray("Boiler1 42.5") << "Boiler1 42.5";
        QTest::newRow("tabs, blanks, CR") << QByteArray("  TT204\t\t-1.25e2 \r") << "TT204 -125";
        QTest::newRow("integer") << QByteArray("x 7") << "x 7";
        QTest::newRow("blank") << QByteArray("   \r") << "";
        QTest::newRow("name only") << QByteArray("Boiler1") << "error:NAME VALUE";
        QTest::newRow("three words") << QByteArray("Boiler1 1 2") << "error:NAME VALUE";
        QTest::newRow("comma decimal") << QByteArray("Boiler1 42,5") << "error:finite";
        QTest::newRow("not a number") << QByteArray("Boiler1 hot") << "error:finite";
        QTest::newRow("nan") << QByteArray("Boiler1 nan") << "error:finite";
        QTest::newRow("infinity") << QByteArray("Boiler1 inf") << "error:finite";
        QTest::newRow("overflow") << QByteArray("Boiler1 1e999") << "error:finite";
    }
    void valueLines()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, expect);
        QString error;
        const auto v = parseValueLine(line, &error);
        if (expect.startsWith(u"error:")) {
            QVERIFY(!v);
            QVERIFY2(error.contains(expect.mid(6)) && error.contains(u"line"), qPrintable(error));
        } else if (expect.isEmpty()) {
            QVERIFY(!v);
            QVERIFY(error.isEmpty());
        } else {
            QVERIFY2(v, qPrintable(error));
            QCOMPARE(QStringLiteral("%1 %2").arg(v->name).arg(v->value), expect);
        }
    }

    // The registers as a server lays them out, for each type and order.
    void registerDecoding_data()
    {
        QTest::addColumn<ModbusType>("type");
        QTest::addColumn<QString>("order");
        QTest::addColumn<QList<int>>("regs");
        QTest::addColumn<double>("value");
        // 123.456f = 0x42F6E979
        QTest::newRow("float abcd") << ModbusType::Float32 << "abcd" << QList<int>{0x42F6, 0xE979} << double(123.456f);
        QTest::newRow("float cdab") << ModbusType::Float32 << "cdab" << QList<int>{0xE979, 0x42F6} << double(123.456f);
        QTest::newRow("float badc") << ModbusType::Float32 << "badc" << QList<int>{0xF642, 0x79E9} << double(123.456f);
        QTest::newRow("float dcba") << ModbusType::Float32 << "dcba" << QList<int>{0x79E9, 0xF642} << double(123.456f);
        QTest::newRow("int32 abcd negative") << ModbusType::Int32 << "abcd" << QList<int>{0xFFFF, 0xFFFE} << -2.0;
        QTest::newRow("int32 cdab") << ModbusType::Int32 << "cdab" << QList<int>{0x5678, 0x1234} << double(0x12345678);
        QTest::newRow("uint32 abcd high bit") << ModbusType::UInt32 << "abcd" << QList<int>{0x8000, 0x0001} << 2147483649.0;
        QTest::newRow("int16 negative") << ModbusType::Int16 << "abcd" << QList<int>{0xFF38} << -200.0;
        QTest::newRow("int16 byte swapped") << ModbusType::Int16 << "badc" << QList<int>{0x38FF} << -200.0;
        QTest::newRow("uint16 high bit") << ModbusType::UInt16 << "abcd" << QList<int>{0xFF38} << 65336.0;
        QTest::newRow("uint16 word order only") << ModbusType::UInt16 << "cdab" << QList<int>{0x0102} << 258.0;
    }
    void registerDecoding()
    {
        QFETCH(ModbusType, type);
        QFETCH(QString, order);
        QFETCH(QList<int>, regs);
        QFETCH(double, value);
        QList<uint16_t> raw;
        for (int r : regs)
            raw << uint16_t(r);
        QCOMPARE(decodeRegisters(raw.constData(), type, order), value);
        QCOMPARE(encodeRegisters(value, type, order), raw);
    }

    void blockPlanning_data()
    {
        QTest::addColumn<Spans>("spans");
        QTest::addColumn<int>("max");
        QTest::addColumn<QList<Block>>("blocks");
        using S = QList<QPair<int, int>>;
        using B = QList<Block>;
        QTest::newRow("touching") << S{{0, 2}, {2, 1}, {3, 2}} << 125 << B{{0, 5}};
        QTest::newRow("unsorted with gap") << S{{10, 1}, {0, 2}, {2, 2}} << 125 << B{{0, 4}, {10, 1}};
        QTest::newRow("overlapping and duplicate") << S{{4, 2}, {5, 1}, {4, 2}} << 125 << B{{4, 2}};
        QTest::newRow("split at max, no value cut") << S{{0, 2}, {2, 2}, {4, 2}} << 5 << B{{0, 4}, {4, 2}};
        QTest::newRow("hundred contiguous") << [] { S s; for (int i = 0; i < 100; ++i) s << qMakePair(i * 2, 2); return s; }()
                                            << 125 << B{{0, 124}, {124, 76}};
        QTest::newRow("empty") << S{} << 125 << B{};
    }
    void blockPlanning()
    {
        QFETCH(Spans, spans);
        QFETCH(int, max);
        QFETCH(QList<Block>, blocks);
        QCOMPARE(planBlocks(spans, max), blocks);
    }

    // Each shape stays in its range, runs its course over a period and
    // repeats exactly for the same seed and sample.
    void simulatedProcesses_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<double>("atZero");   // NaN: not fixed
        QTest::addColumn<double>("atQuarter");
        QTest::newRow("sine from phase 0") << "sim://sine?period=40&min=0&max=100&phase=0" << 50.0 << 100.0;
        QTest::newRow("ramp") << "sim://ramp?period=40&min=10&max=20&phase=0" << 10.0 << 12.5;
        QTest::newRow("step low half") << "sim://step?period=40&min=1&max=2&phase=0" << 1.0 << 1.0;
        QTest::newRow("step high half") << "sim://step?period=40&min=1&max=2&phase=180" << 2.0 << 2.0;
        QTest::newRow("random") << "sim://random?period=40&min=5&max=6" << qQNaN() << qQNaN();
    }
    void simulatedProcesses()
    {
        QFETCH(QString, url);
        QFETCH(double, atZero);
        QFETCH(double, atQuarter);
        QString error;
        const auto c = parseChannel(url, &error);
        QVERIFY2(c, qPrintable(error));
        const SimChannel sim = std::get<SimChannel>(*c);
        const uint64_t seed = seedFromName(QStringLiteral("TT204"));
        if (!std::isnan(atZero)) {
            QVERIFY(qAbs(simulatedValue(sim, seed, 0, 0) - atZero) < 1e-9);
            QVERIFY(qAbs(simulatedValue(sim, seed, sim.period / 4, 1) - atQuarter) < 1e-9);
        }
        double lo = 1e300, hi = -1e300;
        for (int i = 0; i < 400; ++i) {
            const double v = simulatedValue(sim, seed, i * 0.1, i);
            QCOMPARE(simulatedValue(sim, seed, i * 0.1, i), v);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        QVERIFY2(lo >= sim.min - 1e-9 && hi <= sim.max + 1e-9, qPrintable(QStringLiteral("%1..%2").arg(lo).arg(hi)));
        QVERIFY2(hi - lo > 0.2 * (sim.max - sim.min), "the process hardly moves over one period");
    }

    // Noise is bounded, differs between readings and between controls.
    void simulatedNoiseAndSeeds()
    {
        SimChannel sim;
        sim.min = sim.max = 50;
        sim.noise = 0.5;
        const uint64_t a = seedFromName(QStringLiteral("LT101")), b = seedFromName(QStringLiteral("LT102"));
        QVERIFY(a != b);
        QSet<double> seen;
        for (uint64_t i = 0; i < 50; ++i) {
            const double v = simulatedValue(sim, a, 1.0, i);
            QVERIFY(v >= 49.5 && v <= 50.5);
            seen.insert(v);
        }
        QVERIFY(seen.size() > 40);
        QVERIFY(simulatedValue(sim, a, 1.0, 3) != simulatedValue(sim, b, 1.0, 3));
    }
};

QTEST_APPLESS_MAIN(TestChannelRules)
#include "tst_channelrules.moc"
