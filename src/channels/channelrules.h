#pragma once

// The pure rules of the live channels: channel addresses, value lines,
// Modbus register decoding and request planning, simulated processes.
// Nothing here touches a socket or a store.

#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QString>

#include <cstdint>
#include <optional>
#include <variant>

namespace channels {

// ---------------------------------------------------------------------------
// Channel addresses

/// sim://SHAPE?period=S&min=A&max=B&noise=N&seed=K&phase=DEG
struct SimChannel
{
    enum class Shape { Sine, Ramp, Step, Random };
    Shape shape = Shape::Sine;
    double period = 60;   ///< seconds of one cycle (one step level for step)
    double min = 0, max = 100;
    double noise = 0;     ///< peak amplitude of the uniform noise added
    std::optional<uint64_t> seed; ///< unset: derived from the control's name
    std::optional<double> phase;  ///< degrees into the cycle at t = 0; unset: from the seed
};

/// udp:// and stdin://: lines "NAME VALUE" from the host's shared UDP port
/// or from standard input.
struct LineChannel
{
    enum class Source { Udp, Stdin };
    Source source = Source::Udp;
    double staleSeconds = 5; ///< the link dims after this long without a value (?timeout=)
};

enum class ModbusTable { Holding, Input, Coil, Discrete };
enum class ModbusType { Int16, UInt16, Int32, UInt32, Float32 };

/// modbus+tcp://HOST:PORT/UNIT/TABLE/ADDRESS?type=T&order=O&poll=MS
struct ModbusChannel
{
    QString host;
    int port = 502;
    int unit = 1;
    ModbusTable table = ModbusTable::Holding;
    int address = 0;
    ModbusType type = ModbusType::UInt16;
    /// Byte order of the value in the registers: the value's bytes from most
    /// significant ('a') to least ('d'), listed as they appear in the
    /// registers (first register's high byte first). "abcd" is big-endian
    /// with the high word first, "cdab" swaps the words, "badc" the bytes
    /// in each word, "dcba" both.
    QString order = QStringLiteral("abcd");
    int pollMs = 100;
};

using Channel = std::variant<SimChannel, LineChannel, ModbusChannel>;

/// Parses a channel address; on failure returns nothing and says why in
/// `error`.
std::optional<Channel> parseChannel(const QString &url, QString *error);

/// How many 16-bit registers (or bits, for coils and discrete inputs) one
/// value occupies.
int valueWidth(ModbusTable table, ModbusType type);

// ---------------------------------------------------------------------------
// Value lines

struct ValueLine
{
    QString name;
    double value = 0;
};

/// Parses one line "NAME VALUE" (blanks or tabs between, surrounding blanks
/// and a trailing CR ignored), the number in the C locale and finite. An
/// empty or blank line gives nothing and no error.
std::optional<ValueLine> parseValueLine(QByteArrayView line, QString *error);

// ---------------------------------------------------------------------------
// Modbus

/// The value held in `regs` (valueWidth() registers) for a register table.
double decodeRegisters(const uint16_t *regs, ModbusType type, const QString &order);

/// The registers that hold `value` of `type` in `order`: the inverse of
/// decodeRegisters() (for servers and tests).
QList<uint16_t> encodeRegisters(double value, ModbusType type, const QString &order);

/// One read request: `count` items from `start`.
struct Block
{
    int start = 0;
    int count = 0;
    friend bool operator==(const Block &, const Block &) = default;
};

/// The read requests covering the spans (start, count): spans that touch or
/// overlap share a request, gaps split them, and no request is longer than
/// `maxCount` (125 registers or 2000 bits in Modbus).
QList<Block> planBlocks(QList<QPair<int, int>> spans, int maxCount);

// ---------------------------------------------------------------------------
// Simulated processes

/// A stable 64-bit seed from a control's name.
uint64_t seedFromName(const QString &name);

/// The simulated value at `seconds` since start; `sample` numbers the
/// readings so the noise of one reading is the same on every run.
double simulatedValue(const SimChannel &sim, uint64_t seed, double seconds, uint64_t sample);

} // namespace channels
