#include "channels.h"

#include <QCoreApplication>
#include <QModbusDataUnit>
#include <QModbusReply>
#include <QModbusTcpClient>
#include <QNetworkDatagram>
#include <QSet>
#include <QSocketNotifier>
#include <QUdpSocket>
#include <QVariant>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace channels {

// ---------------------------------------------------------------------------
// Reporter

Reporter::Reporter(Sink sink) : m_sink(std::move(sink))
{
    if (!m_sink) {
        m_sink = [](const QString &message) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()), qPrintable(message));
            std::fflush(stderr);
        };
    }
}

void Reporter::operator()(const QString &message)
{
    constexpr int kPerSecond = 20;
    if (!m_window.isValid() || m_window.elapsed() >= 1000) {
        if (m_suppressed > 0)
            m_sink(QStringLiteral("%1 more messages left out").arg(m_suppressed));
        m_window.start();
        m_inWindow = 0;
        m_suppressed = 0;
    }
    if (++m_inWindow > kPerSecond) {
        ++m_suppressed;
        return;
    }
    m_sink(message);
}

// ---------------------------------------------------------------------------
// Modbus: one client per server, shared by every control on it.

class ModbusServer : public QObject
{
public:
    ModbusServer(Channels *owner, const QString &host, int port)
        : m_owner(owner), m_host(host), m_port(port), m_backoffMs(owner->m_options.reconnectMinMs)
    {
        m_client.setConnectionParameter(QModbusDevice::NetworkAddressParameter, host);
        m_client.setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
        m_client.setTimeout(1000);
        m_client.setNumberOfRetries(0);
        connect(&m_client, &QModbusDevice::stateChanged, this, [this](QModbusDevice::State s) { stateChanged(s); });
        connect(&m_client, &QModbusDevice::errorOccurred, this, [this](QModbusDevice::Error e) {
            if (e == QModbusDevice::ConnectionError)
                lost(m_client.errorString());
        });
        m_poll.setTimerType(Qt::PreciseTimer);
        connect(&m_poll, &QTimer::timeout, this, [this] { poll(); });
        m_reconnect.setSingleShot(true);
        connect(&m_reconnect, &QTimer::timeout, this, [this] { connectNow(); });
    }

    void add(Binding *t) { m_targets.append(t); }

    void start()
    {
        int pollMs = 3600000;
        for (const Binding *t : m_targets)
            pollMs = std::min(pollMs, t->modbus.pollMs);
        m_poll.setInterval(pollMs);
        plan();
        connectNow();
    }

    void stop()
    {
        m_stopped = true;
        m_poll.stop();
        m_reconnect.stop();
        m_client.disconnectDevice();
    }

    QString label() const { return QStringLiteral("Modbus server %1:%2").arg(m_host).arg(m_port); }

private:
    struct Group
    {
        int unit;
        ModbusTable table;
        QList<Block> blocks;
        QList<Binding *> targets;
    };

    static QModbusDataUnit::RegisterType registerType(ModbusTable t)
    {
        switch (t) {
        case ModbusTable::Holding: return QModbusDataUnit::HoldingRegisters;
        case ModbusTable::Input: return QModbusDataUnit::InputRegisters;
        case ModbusTable::Coil: return QModbusDataUnit::Coils;
        case ModbusTable::Discrete: return QModbusDataUnit::DiscreteInputs;
        }
        return QModbusDataUnit::HoldingRegisters;
    }

    // Groups the controls by unit and table and plans one request per
    // contiguous run of addresses.
    void plan()
    {
        QMap<QPair<int, int>, Group> groups;
        for (Binding *t : m_targets) {
            Group &g = groups[{t->modbus.unit, int(t->modbus.table)}];
            g.unit = t->modbus.unit;
            g.table = t->modbus.table;
            g.targets.append(t);
        }
        for (Group &g : groups) {
            QList<QPair<int, int>> spans;
            for (const Binding *t : g.targets)
                spans.append({t->modbus.address, valueWidth(t->modbus.table, t->modbus.type)});
            const bool bits = g.table == ModbusTable::Coil || g.table == ModbusTable::Discrete;
            g.blocks = planBlocks(spans, bits ? 2000 : 125);
            m_groups.append(g);
        }
    }

    void connectNow()
    {
        if (m_stopped || m_client.state() != QModbusDevice::UnconnectedState)
            return;
        if (!m_client.connectDevice())
            lost(m_client.errorString());
    }

    void stateChanged(QModbusDevice::State s)
    {
        if (m_stopped)
            return;
        if (s == QModbusDevice::ConnectedState) {
            if (m_reported)
                m_owner->report(QStringLiteral("%1: connected again").arg(label()));
            m_reported = false;
            m_backoffMs = m_owner->m_options.reconnectMinMs;
            m_inFlight.clear();
            m_poll.start();
            poll();
        } else if (s == QModbusDevice::UnconnectedState) {
            lost(m_client.errorString());
        }
    }

    // The server went away or cannot be reached: the controls keep their
    // last value with a dim link, and a reconnect follows after a delay
    // that doubles with every failure.
    void lost(const QString &why)
    {
        if (m_stopped)
            return;
        m_poll.stop();
        m_inFlight.clear();
        for (Binding *t : m_targets)
            m_owner->setLit(*t, false);
        if (!m_reported) {
            m_owner->report(QStringLiteral("%1 unreachable (%2); controls %3 keep their last value, retrying")
                                .arg(label(), why.isEmpty() ? QStringLiteral("connection closed") : why,
                                     names()));
            m_reported = true;
        }
        if (m_client.state() == QModbusDevice::ConnectedState)
            m_client.disconnectDevice();
        if (!m_reconnect.isActive()) {
            m_reconnect.start(m_backoffMs);
            m_backoffMs = std::min(m_backoffMs * 2, m_owner->m_options.reconnectMaxMs);
        }
    }

    QString names() const
    {
        QStringList n;
        for (const Binding *t : m_targets)
            n << t->target.name;
        return n.join(QStringLiteral(", "));
    }

    void poll()
    {
        if (m_stopped || m_client.state() != QModbusDevice::ConnectedState)
            return;
        for (int gi = 0; gi < m_groups.size(); ++gi) {
            const Group &g = m_groups[gi];
            for (const Block &b : g.blocks) {
                // At most one request per block on the wire: a slow server
                // gets no pile of requests.
                const quint64 key = quint64(gi) << 32 | quint64(b.start);
                if (m_inFlight.contains(key))
                    continue;
                QModbusReply *reply =
                    m_client.sendReadRequest(QModbusDataUnit(registerType(g.table), b.start, quint16(b.count)), g.unit);
                if (!reply) {
                    lost(m_client.errorString());
                    return;
                }
                ++m_requests;
                if (reply->isFinished()) {
                    reply->deleteLater();
                    continue;
                }
                m_inFlight.insert(key);
                connect(reply, &QModbusReply::finished, this, [this, reply, gi, b, key] {
                    m_inFlight.remove(key);
                    reply->deleteLater();
                    if (gi < m_groups.size())
                        answered(m_groups[gi], b, *reply);
                });
            }
        }
    }

    void answered(const Group &g, const Block &b, const QModbusReply &reply)
    {
        if (m_stopped)
            return;
        const bool failed = reply.error() != QModbusDevice::NoError;
        const QModbusDataUnit unit = reply.result();
        QVector<uint16_t> regs(unit.valueCount());
        for (qsizetype i = 0; i < regs.size(); ++i)
            regs[i] = unit.value(i);
        for (Binding *t : g.targets) {
            const int width = valueWidth(t->modbus.table, t->modbus.type);
            if (t->modbus.address < b.start || t->modbus.address + width > b.start + b.count)
                continue;
            const int at = t->modbus.address - b.start;
            if (failed || at + width > regs.size()) {
                if (t->lit || !m_blockReported.contains(t)) {
                    m_owner->report(QStringLiteral("%1: %2 reading unit %3 address %4 failed: %5")
                                        .arg(t->target.name, label())
                                        .arg(g.unit)
                                        .arg(t->modbus.address)
                                        .arg(failed ? reply.errorString() : QStringLiteral("short answer")));
                    m_blockReported.insert(t);
                }
                m_owner->setLit(*t, false);
                continue;
            }
            m_blockReported.remove(t);
            const bool bits = g.table == ModbusTable::Coil || g.table == ModbusTable::Discrete;
            const double v = bits ? double(regs[at] ? 1 : 0) : decodeRegisters(regs.data() + at, t->modbus.type, t->modbus.order);
            m_owner->deliver(*t, v);
        }
        Q_EMIT m_owner->valuesDelivered();
    }

public:
    quint64 m_requests = 0;

private:
    Channels *m_owner;
    QString m_host;
    int m_port;
    QModbusTcpClient m_client;
    QList<Binding *> m_targets;
    QList<Group> m_groups;
    QSet<quint64> m_inFlight;
    QSet<const Binding *> m_blockReported;
    QTimer m_poll;
    QTimer m_reconnect;
    int m_backoffMs;
    bool m_reported = false;
    bool m_stopped = false;
};

// ---------------------------------------------------------------------------
// Channels

Channels::Channels(Options options, Reporter::Sink sink, QObject *parent)
    : QObject(parent), m_options(options), m_report(std::move(sink))
{
    m_clock.start();
    m_simTimer.setInterval(m_options.simIntervalMs);
    connect(&m_simTimer, &QTimer::timeout, this, [this] { simTick(); });
    m_staleTimer.setInterval(250);
    connect(&m_staleTimer, &QTimer::timeout, this, [this] { checkStale(); });
}

Channels::~Channels()
{
    stop();
}

void Channels::bind(const QList<Target> &targets)
{
    for (const Target &target : targets) {
        const QString url = target.url.trimmed();
        if (url.isEmpty())
            continue;
        const QString name = target.name;
        QString why;
        const std::optional<Channel> channel = parseChannel(url, &why);
        if (!channel) {
            report(QStringLiteral("%1: channel \"%2\" ignored: %3").arg(name, url, why));
            continue;
        }
        auto binding = std::make_unique<Binding>();
        binding->target = target;
        binding->seed = seedFromName(name);
        Binding *t = binding.get();
        if (const auto *sim = std::get_if<SimChannel>(&*channel)) {
            t->sim = *sim;
            if (sim->seed)
                t->seed = *sim->seed;
            m_sim.append(t);
        } else if (const auto *line = std::get_if<LineChannel>(&*channel)) {
            t->staleSeconds = line->staleSeconds;
            QHash<QString, Binding *> &map = line->source == LineChannel::Source::Udp ? m_udp : m_stdin;
            if (map.contains(name)) {
                report(QStringLiteral("%1: a second control of this name; its channel \"%2\" is ignored").arg(name, url));
                continue;
            }
            map.insert(name, t);
        } else if (const auto *mb = std::get_if<ModbusChannel>(&*channel)) {
            t->modbus = *mb;
            const QString key = mb->host + QLatin1Char(':') + QString::number(mb->port);
            ModbusServer *&server = m_modbus[key];
            if (!server)
                server = new ModbusServer(this, mb->host, mb->port);
            server->add(t);
        }
        m_targets.push_back(std::move(binding));
    }
    if (!m_sim.isEmpty()) {
        simTick();
        m_simTimer.start();
    }
    if (!m_udp.isEmpty())
        startUdp();
    if (!m_stdin.isEmpty())
        startStdin();
    if (!m_udp.isEmpty() || !m_stdin.isEmpty())
        m_staleTimer.start();
    for (ModbusServer *server : std::as_const(m_modbus))
        server->start();
}

quint16 Channels::udpPort() const
{
    return m_udpSocket ? m_udpSocket->localPort() : 0;
}

quint64 Channels::modbusRequests() const
{
    quint64 n = 0;
    for (const ModbusServer *server : m_modbus)
        n += server->m_requests;
    return n;
}

void Channels::stop()
{
    m_stopped = true;
    m_simTimer.stop();
    m_staleTimer.stop();
    if (m_udpSocket)
        m_udpSocket->close();
    if (m_stdinNotifier)
        m_stdinNotifier->setEnabled(false);
    for (ModbusServer *server : std::as_const(m_modbus))
        server->stop();
}

template<typename Fn>
void Channels::guarded(const Binding &t, Fn &&fn)
{
    try {
        fn();
    } catch (const std::exception &e) {
        report(QStringLiteral("%1: %2").arg(t.target.name, QString::fromUtf8(e.what())));
    } catch (...) {
        report(QStringLiteral("%1: the control refused a reading").arg(t.target.name));
    }
}

void Channels::setLit(Binding &t, bool lit)
{
    if (t.lit == lit)
        return;
    t.lit = lit;
    if (t.target.owner && t.target.link)
        guarded(t, [&] { t.target.link(lit); });
}

void Channels::deliver(Binding &t, double value)
{
    if (m_stopped || !t.target.owner)
        return;
    setLit(t, true);
    // A control's setValue() never throws (a reading it refuses it reports
    // itself); a sink that does is reported here and the channel goes on.
    if (t.target.value)
        guarded(t, [&] { t.target.value(value); });
    ++m_valuesWritten;
}

void Channels::simTick()
{
    const double seconds = m_clock.elapsed() / 1000.0;
    for (Binding *t : std::as_const(m_sim))
        deliver(*t, simulatedValue(t->sim, t->seed, seconds, t->sample++));
    Q_EMIT valuesDelivered();
}

void Channels::startUdp()
{
    if (m_options.udpPort == 0 && !m_options.udpAnyPort) {
        QStringList names = m_udp.keys();
        names.sort();
        report(QStringLiteral("%1: udp:// needs the program's --udp [ADDRESS:]PORT; no values will come")
                   .arg(names.join(QStringLiteral(", "))));
        return;
    }
    m_udpSocket = new QUdpSocket(this);
    if (!m_udpSocket->bind(m_options.udpAddress, m_options.udpPort)) {
        report(QStringLiteral("cannot listen on UDP %1:%2: %3")
                   .arg(m_options.udpAddress.toString())
                   .arg(m_options.udpPort)
                   .arg(m_udpSocket->errorString()));
        return;
    }
    // Room for bursts while the thread is busy elsewhere (painting, stores).
    m_udpSocket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 8 * 1024 * 1024);
    connect(m_udpSocket, &QUdpSocket::readyRead, this, [this] { readUdp(); });
}

void Channels::readUdp()
{
    // Every datagram waiting is taken in one pass, its values coalesced per
    // control: only the latest of each control is written.
    QByteArray all;
    while (m_udpSocket->hasPendingDatagrams()) {
        const qint64 size = m_udpSocket->pendingDatagramSize();
        const qsizetype at = all.size();
        all.resize(at + std::max<qint64>(size, 0) + 1);
        const qint64 got = m_udpSocket->readDatagram(all.data() + at, std::max<qint64>(size, 0));
        all.resize(at + std::max<qint64>(got, 0));
        all.append('\n'); // a datagram's last line ends with it
    }
    takeLines(all, LineChannel::Source::Udp);
}

void Channels::startStdin()
{
    m_stdinNotifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(m_stdinNotifier, &QSocketNotifier::activated, this, [this] { readStdin(); });
}

void Channels::readStdin()
{
    // The notifier says data (or the end) is there: one read never blocks.
    char buf[65536];
    const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        m_stdinNotifier->setEnabled(false);
        if (!m_stdinPartial.isEmpty()) {
            takeLines(m_stdinPartial + '\n', LineChannel::Source::Stdin);
            m_stdinPartial.clear();
        }
        for (Binding *t : std::as_const(m_stdin))
            setLit(*t, false);
        report(n == 0 ? QStringLiteral("standard input ended; stdin:// controls keep their last value")
                      : QStringLiteral("standard input failed: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    m_stdinPartial.append(buf, n);
    const qsizetype lastNewline = m_stdinPartial.lastIndexOf('\n');
    if (lastNewline < 0)
        return;
    takeLines(QByteArrayView(m_stdinPartial).first(lastNewline + 1), LineChannel::Source::Stdin);
    m_stdinPartial.remove(0, lastNewline + 1);
}

void Channels::takeLines(QByteArrayView data, LineChannel::Source source)
{
    if (m_stopped)
        return;
    const QHash<QString, Binding *> &map = source == LineChannel::Source::Udp ? m_udp : m_stdin;
    // The latest value per control, in the order the controls first appear.
    QVarLengthArray<Binding *, 64> order;
    QHash<Binding *, double> latest;
    const qint64 now = m_clock.elapsed();
    qsizetype from = 0;
    while (from < data.size()) {
        qsizetype nl = data.indexOf('\n', from);
        if (nl < 0)
            nl = data.size();
        const QByteArrayView line = data.sliced(from, nl - from);
        from = nl + 1;
        QString why;
        const std::optional<ValueLine> parsed = parseValueLine(line, &why);
        if (!parsed) {
            if (!why.isEmpty())
                report(why);
            continue;
        }
        Binding *t = map.value(parsed->name);
        if (!t) {
            report(QStringLiteral("line \"%1\": no control named \"%2\" reads %3://")
                       .arg(QString::fromUtf8(line.trimmed().first(std::min<qsizetype>(line.trimmed().size(), 80))),
                            parsed->name, source == LineChannel::Source::Udp ? QStringLiteral("udp")
                                                                            : QStringLiteral("stdin")));
            continue;
        }
        auto it = latest.find(t);
        if (it == latest.end()) {
            latest.insert(t, parsed->value);
            order.append(t);
        } else {
            *it = parsed->value;
        }
        t->lastArrivalMs = now;
    }
    for (Binding *t : order)
        deliver(*t, latest.value(t));
    if (!order.isEmpty())
        Q_EMIT valuesDelivered();
}

void Channels::checkStale()
{
    const qint64 now = m_clock.elapsed();
    for (QHash<QString, Binding *> *map : {&m_udp, &m_stdin}) {
        for (Binding *t : std::as_const(*map)) {
            if (t->lit && now - t->lastArrivalMs > qint64(t->staleSeconds * 1000))
                setLit(*t, false);
        }
    }
}

} // namespace channels
