#pragma once

// Live channels of the operator panel: each control's string property
// "channel" names where its readings come from. Every channel writes the
// control's InputValue on the GUI thread through Quellix::setValue() and
// never blocks it: sockets and standard input are read only when they have
// data, Modbus requests are asynchronous.

#include "panelrules.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class Quellix;
class QUdpSocket;
class QSocketNotifier;

namespace panel {

class ModbusServer;

/// Where the panel's problems go: one line each. The default writes to
/// standard error; a burst beyond 20 lines a second is cut short with one
/// line saying how many were left out.
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

/// A control fed by a channel, with its link indicator's state.
struct Target
{
    QPointer<Quellix> control;
    QString name;
    bool lit = false;
    qint64 lastArrivalMs = -1;
    double staleSeconds = 5;
    uint64_t seed = 0;
    uint64_t sample = 0;
    SimChannel sim;
    ModbusChannel modbus;
};

/// Binds controls to their channels and runs them.
class Channels : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        /// Port for udp:// channels; 0: none given (udp:// channels are
        /// reported and stay dim). The port may be bound as 0 by tests that
        /// want any free port: set `udpAnyPort`.
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

    /// Binds every control by its "channel" property. A control without one
    /// is left alone; a bad address or a channel that cannot start is
    /// reported naming the control, and the control stays dim.
    void bind(const QList<Quellix *> &controls);

    /// The UDP port bound, 0 when none.
    quint16 udpPort() const;

    /// Stops every channel: no more values are written.
    void stop();

    /// Takes lines of "NAME VALUE" as if they had arrived on a udp:// or
    /// stdin:// channel (the UDP socket and standard input end here).
    void takeLines(QByteArrayView data, LineChannel::Source source);

    /// Values written into controls so far (for benchmarks).
    quint64 valuesWritten() const { return m_valuesWritten; }
    /// Modbus read requests sent so far, over all servers (for benchmarks).
    quint64 modbusRequests() const;

Q_SIGNALS:
    /// A batch of values was written (after the controls took them).
    void valuesDelivered();

private:
    void report(const QString &message) { m_report(message); }
    void deliver(Target &t, double value);
    void setLit(Target &t, bool lit);
    void startUdp();
    void readUdp();
    void startStdin();
    void readStdin();
    void simTick();
    void checkStale();

    Options m_options;
    Reporter m_report;
    std::vector<std::unique_ptr<Target>> m_targets;
    QList<Target *> m_sim;
    QHash<QString, Target *> m_udp;
    QHash<QString, Target *> m_stdin;
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

} // namespace panel
