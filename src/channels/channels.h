#pragma once

// Live channels: each bound control names where its readings come from by
// a channel address. Every channel hands its readings to the control's
// value sink on the thread that runs the channels and never blocks it:
// sockets and standard input are read only when they have data, Modbus
// requests are asynchronous. Nothing here knows what a control is beyond
// its name, its address and the two sinks.

#include "channelrules.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class QUdpSocket;
class QSocketNotifier;

namespace channels {

class ModbusServer;

/// Where the channels' problems go: one line each. The default writes to
/// standard error after the application's name; a burst beyond 20 lines a
/// second is cut short with one line saying how many were left out.
class Reporter
{
public:
    using Sink = std::function<void(const QString &)>;
    explicit Reporter(Sink sink = {});
    void operator()(const QString &message);

private:
    Sink m_sink;
    QElapsedTimer m_window;
    int m_inWindow = 0;
    int m_suppressed = 0;
};

/// A control to feed: its name (what udp:// and stdin:// lines address), its
/// channel address, the object whose life it follows (nothing is delivered
/// once that is gone, and a target without one is never fed), where its
/// readings go and where the state of its link goes (true while the channel
/// delivers, false once it is lost; either sink may be empty).
struct Target
{
    QString name;
    QString url;
    QPointer<QObject> owner;
    std::function<void(double)> value;
    std::function<void(bool)> link;
};

/// A bound target with its channel's state.
struct Binding
{
    Target target;
    bool lit = false;
    qint64 lastArrivalMs = -1;
    double staleSeconds = 5;
    uint64_t seed = 0;
    uint64_t sample = 0;
    SimChannel sim;
    ModbusChannel modbus;
};

/// Binds targets to their channels and runs them.
class Channels : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        /// Port for udp:// channels; 0: none given (udp:// channels are
        /// reported and their links stay down). The port may be bound as 0
        /// by tests that want any free port: set `udpAnyPort`.
        quint16 udpPort = 0;
        bool udpAnyPort = false;
        QHostAddress udpAddress = QHostAddress(QHostAddress::LocalHost);
        /// Modbus: first reconnect delay, doubled after each failure up to
        /// the maximum.
        int reconnectMinMs = 250;
        int reconnectMaxMs = 8000;
        /// Interval of the simulators.
        int simIntervalMs = 100;
    };

    explicit Channels(Options options, Reporter::Sink sink = {}, QObject *parent = nullptr);
    ~Channels() override;

    /// Binds every target to its channel address. A target without one is
    /// left alone; a bad address or a channel that cannot start is reported
    /// naming the control, and its link stays down.
    void bind(const QList<Target> &targets);

    /// The UDP port bound, 0 when none.
    quint16 udpPort() const;

    /// Stops every channel: no more values are written.
    void stop();

    /// Takes lines of "NAME VALUE" as if they had arrived on a udp:// or
    /// stdin:// channel (the UDP socket and standard input end here).
    void takeLines(QByteArrayView data, LineChannel::Source source);

    /// Values handed to value sinks so far (for benchmarks).
    quint64 valuesWritten() const { return m_valuesWritten; }
    /// Modbus read requests sent so far, over all servers (for benchmarks).
    quint64 modbusRequests() const;

Q_SIGNALS:
    /// A batch of values was delivered (after the value sinks took them).
    void valuesDelivered();

private:
    void report(const QString &message) { m_report(message); }
    void deliver(Binding &t, double value);
    void setLit(Binding &t, bool lit);
    /// Runs a sink; what it throws is reported and goes no further.
    template<typename Fn>
    void guarded(const Binding &t, Fn &&fn);
    void startUdp();
    void readUdp();
    void startStdin();
    void readStdin();
    void simTick();
    void checkStale();

    Options m_options;
    Reporter m_report;
    std::vector<std::unique_ptr<Binding>> m_targets;
    QList<Binding *> m_sim;
    QHash<QString, Binding *> m_udp;
    QHash<QString, Binding *> m_stdin;
    QHash<QString, ModbusServer *> m_modbus;
    QUdpSocket *m_udpSocket = nullptr;
    QSocketNotifier *m_stdinNotifier = nullptr;
    QByteArray m_stdinPartial;
    QTimer m_simTimer;
    QTimer m_staleTimer;
    QElapsedTimer m_clock;
    quint64 m_valuesWritten = 0;
    bool m_stopped = false;

    friend class ModbusServer;
};

} // namespace channels
