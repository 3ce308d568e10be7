#include "channelrules.h"

#include <QUrl>
#include <QUrlQuery>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace channels {

namespace {

// A number of a query item, in the C locale, finite.
std::optional<double> number(const QString &text)
{
    bool ok = false;
    const double v = text.toDouble(&ok); // QString::toDouble always reads the C locale
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<qint64> integer(const QString &text, qint64 lo, qint64 hi)
{
    bool ok = false;
    const qint64 v = text.toLongLong(&ok);
    if (!ok || v < lo || v > hi)
        return std::nullopt;
    return v;
}

bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

// Reads the query items of `url` into `apply`, which returns false for an
// unknown key or a bad value after filling `error`.
template<typename Fn>
bool readQuery(const QUrl &url, Fn &&apply)
{
    const QUrlQuery query(url);
    for (const auto &[key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (!apply(key, value))
            return false;
    }
    return true;
}

std::optional<Channel> parseSim(const QUrl &url, QString *error)
{
    SimChannel sim;
    const QString shape = url.host();
    if (shape == u"sine") sim.shape = SimChannel::Shape::Sine;
    else if (shape == u"ramp") sim.shape = SimChannel::Shape::Ramp;
    else if (shape == u"step") sim.shape = SimChannel::Shape::Step;
    else if (shape == u"random") sim.shape = SimChannel::Shape::Random;
    else {
        fail(error, QStringLiteral("unknown simulation \"%1\" (sine, ramp, step or random)").arg(shape));
        return std::nullopt;
    }
    if (!url.path().isEmpty() && url.path() != u"/") {
        fail(error, QStringLiteral("a simulation takes no path"));
        return std::nullopt;
    }
    const bool ok = readQuery(url, [&](const QString &key, const QString &value) {
        if (key == u"seed") {
            bool good = false;
            const qulonglong v = value.toULongLong(&good);
            if (!good)
                return fail(error, QStringLiteral("seed \"%1\" is not a whole number").arg(value));
            sim.seed = v;
            return true;
        }
        const std::optional<double> v = number(value);
        if (!v)
            return fail(error, QStringLiteral("%1 \"%2\" is not a finite number").arg(key, value));
        if (key == u"period") {
            if (*v <= 0)
                return fail(error, QStringLiteral("period must be above 0 seconds"));
            sim.period = *v;
        } else if (key == u"min") {
            sim.min = *v;
        } else if (key == u"max") {
            sim.max = *v;
        } else if (key == u"noise") {
            if (*v < 0)
                return fail(error, QStringLiteral("noise must not be negative"));
            sim.noise = *v;
        } else if (key == u"phase") {
            sim.phase = *v;
        } else {
            return fail(error, QStringLiteral("unknown simulation parameter \"%1\"").arg(key));
        }
        return true;
    });
    if (!ok)
        return std::nullopt;
    if (sim.max < sim.min) {
        fail(error, QStringLiteral("max %1 is below min %2").arg(sim.max).arg(sim.min));
        return std::nullopt;
    }
    return sim;
}

std::optional<Channel> parseLines(const QUrl &url, LineChannel::Source source, QString *error)
{
    LineChannel line;
    line.source = source;
    if (!url.host().isEmpty() || (!url.path().isEmpty() && url.path() != u"/")) {
        fail(error, QStringLiteral("%1:// takes no host or path: the port is the host's --udp and a line "
                                   "names its control")
                        .arg(url.scheme()));
        return std::nullopt;
    }
    const bool ok = readQuery(url, [&](const QString &key, const QString &value) {
        if (key != u"timeout")
            return fail(error, QStringLiteral("unknown parameter \"%1\"").arg(key));
        const std::optional<double> v = number(value);
        if (!v || *v <= 0)
            return fail(error, QStringLiteral("timeout \"%1\" is not a number of seconds above 0").arg(value));
        line.staleSeconds = *v;
        return true;
    });
    if (!ok)
        return std::nullopt;
    return line;
}

bool validOrder(const QString &order)
{
    if (order.size() != 4)
        return false;
    QString sorted = order;
    std::sort(sorted.begin(), sorted.end());
    return sorted == u"abcd";
}

std::optional<Channel> parseModbus(const QUrl &url, QString *error)
{
    ModbusChannel mb;
    mb.host = url.host();
    if (mb.host.isEmpty()) {
        fail(error, QStringLiteral("a Modbus address needs a host"));
        return std::nullopt;
    }
    mb.port = url.port(502);
    if (mb.port < 1 || mb.port > 65535) {
        fail(error, QStringLiteral("port out of range"));
        return std::nullopt;
    }
    const QStringList parts = url.path().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.size() != 3) {
        fail(error, QStringLiteral("path must be /UNIT/TABLE/ADDRESS, got \"%1\"").arg(url.path()));
        return std::nullopt;
    }
    const auto unit = integer(parts[0], 0, 255);
    if (!unit) {
        fail(error, QStringLiteral("unit \"%1\" is not 0 to 255").arg(parts[0]));
        return std::nullopt;
    }
    mb.unit = int(*unit);
    const QString table = parts[1];
    if (table == u"holding") mb.table = ModbusTable::Holding;
    else if (table == u"input") mb.table = ModbusTable::Input;
    else if (table == u"coil") mb.table = ModbusTable::Coil;
    else if (table == u"discrete") mb.table = ModbusTable::Discrete;
    else {
        fail(error, QStringLiteral("unknown table \"%1\" (holding, input, coil or discrete)").arg(table));
        return std::nullopt;
    }
    const auto address = integer(parts[2], 0, 65535);
    if (!address) {
        fail(error, QStringLiteral("address \"%1\" is not 0 to 65535").arg(parts[2]));
        return std::nullopt;
    }
    mb.address = int(*address);
    const bool ok = readQuery(url, [&](const QString &key, const QString &value) {
        if (key == u"type") {
            if (value == u"int16") mb.type = ModbusType::Int16;
            else if (value == u"uint16") mb.type = ModbusType::UInt16;
            else if (value == u"int32") mb.type = ModbusType::Int32;
            else if (value == u"uint32") mb.type = ModbusType::UInt32;
            else if (value == u"float32") mb.type = ModbusType::Float32;
            else return fail(error, QStringLiteral("unknown type \"%1\" (int16, uint16, int32, uint32, float32)").arg(value));
        } else if (key == u"order") {
            if (!validOrder(value))
                return fail(error, QStringLiteral("order \"%1\" is not a permutation of abcd").arg(value));
            mb.order = value;
        } else if (key == u"poll") {
            const auto ms = integer(value, 10, 3600000);
            if (!ms)
                return fail(error, QStringLiteral("poll \"%1\" is not 10 to 3600000 ms").arg(value));
            mb.pollMs = int(*ms);
        } else {
            return fail(error, QStringLiteral("unknown parameter \"%1\"").arg(key));
        }
        return true;
    });
    if (!ok)
        return std::nullopt;
    if (mb.address + valueWidth(mb.table, mb.type) - 1 > 65535) {
        fail(error, QStringLiteral("the value runs past address 65535"));
        return std::nullopt;
    }
    return mb;
}

uint64_t splitmix(uint64_t x)
{
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

// Uniform in [0, 1) from a seed and an index.
double unit(uint64_t seed, uint64_t index)
{
    return double(splitmix(seed ^ splitmix(index)) >> 11) * 0x1.0p-53;
}

// The four bytes (or two) of a value in the order the registers hold them.
// byteAt[k] is the register byte (0 = first register's high byte) that holds
// the value's k-th most significant byte.
void bytePositions(ModbusType type, const QString &order, int byteAt[4])
{
    const bool wide = type == ModbusType::Int32 || type == ModbusType::UInt32 || type == ModbusType::Float32;
    if (wide) {
        for (int k = 0; k < 4; ++k)
            byteAt[k] = int(order.indexOf(QChar(u'a' + k)));
    } else {
        // A 16-bit value has bytes a and b: their relative order decides.
        const bool bigEndian = order.indexOf(u'a') < order.indexOf(u'b');
        byteAt[0] = bigEndian ? 0 : 1;
        byteAt[1] = bigEndian ? 1 : 0;
    }
}

} // namespace

std::optional<Channel> parseChannel(const QString &text, QString *error)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (text.trimmed().isEmpty()) {
        fail(error, QStringLiteral("empty channel"));
        return std::nullopt;
    }
    if (!url.isValid()) {
        fail(error, QStringLiteral("not a valid address: %1").arg(url.errorString()));
        return std::nullopt;
    }
    const QString scheme = url.scheme();
    if (scheme == u"sim")
        return parseSim(url, error);
    if (scheme == u"udp")
        return parseLines(url, LineChannel::Source::Udp, error);
    if (scheme == u"stdin")
        return parseLines(url, LineChannel::Source::Stdin, error);
    if (scheme == u"modbus+tcp")
        return parseModbus(url, error);
    fail(error, QStringLiteral("unknown scheme \"%1\" (sim, udp, stdin or modbus+tcp)").arg(scheme));
    return std::nullopt;
}

int valueWidth(ModbusTable table, ModbusType type)
{
    if (table == ModbusTable::Coil || table == ModbusTable::Discrete)
        return 1;
    return (type == ModbusType::Int16 || type == ModbusType::UInt16) ? 1 : 2;
}

std::optional<ValueLine> parseValueLine(QByteArrayView line, QString *error)
{
    const QByteArray text = line.trimmed().toByteArray(); // drops a CR and surrounding blanks
    if (text.isEmpty())
        return std::nullopt;
    const QList<QByteArray> parts = text.simplified().split(' ');
    const QString shown = QString::fromUtf8(text.left(80));
    if (parts.size() != 2) {
        fail(error, QStringLiteral("line \"%1\": expected NAME VALUE").arg(shown));
        return std::nullopt;
    }
    bool ok = false;
    const double v = parts[1].toDouble(&ok); // QByteArray::toDouble reads the C locale
    if (!ok || !std::isfinite(v)) {
        fail(error, QStringLiteral("line \"%1\": \"%2\" is not a finite number")
                        .arg(shown, QString::fromUtf8(parts[1].left(40))));
        return std::nullopt;
    }
    return ValueLine{QString::fromUtf8(parts[0]), v};
}

double decodeRegisters(const uint16_t *regs, ModbusType type, const QString &order)
{
    int byteAt[4] = {};
    bytePositions(type, order, byteAt);
    auto registerByte = [regs](int i) { return uint32_t(i % 2 == 0 ? regs[i / 2] >> 8 : regs[i / 2] & 0xff); };
    switch (type) {
    case ModbusType::Int16:
    case ModbusType::UInt16: {
        const uint16_t raw = uint16_t(registerByte(byteAt[0]) << 8 | registerByte(byteAt[1]));
        return type == ModbusType::Int16 ? double(int16_t(raw)) : double(raw);
    }
    case ModbusType::Int32:
    case ModbusType::UInt32:
    case ModbusType::Float32: {
        uint32_t raw = 0;
        for (int k = 0; k < 4; ++k)
            raw = raw << 8 | registerByte(byteAt[k]);
        if (type == ModbusType::Int32)
            return double(int32_t(raw));
        if (type == ModbusType::UInt32)
            return double(raw);
        float f;
        std::memcpy(&f, &raw, sizeof f);
        return double(f);
    }
    }
    return 0;
}

QList<uint16_t> encodeRegisters(double value, ModbusType type, const QString &order)
{
    int byteAt[4] = {};
    bytePositions(type, order, byteAt);
    uint32_t raw = 0;
    int bytes = 4;
    switch (type) {
    case ModbusType::Int16: raw = uint16_t(int16_t(value)); bytes = 2; break;
    case ModbusType::UInt16: raw = uint16_t(value); bytes = 2; break;
    case ModbusType::Int32: raw = uint32_t(int32_t(value)); break;
    case ModbusType::UInt32: raw = uint32_t(value); break;
    case ModbusType::Float32: {
        const float f = float(value);
        std::memcpy(&raw, &f, sizeof raw);
        break;
    }
    }
    QList<uint16_t> regs(bytes / 2, 0);
    for (int k = 0; k < bytes; ++k) {
        const uint32_t b = (raw >> (8 * (bytes - 1 - k))) & 0xff;
        const int at = byteAt[k];
        regs[at / 2] |= uint16_t(at % 2 == 0 ? b << 8 : b);
    }
    return regs;
}

QList<Block> planBlocks(QList<QPair<int, int>> spans, int maxCount)
{
    std::sort(spans.begin(), spans.end());
    QList<Block> blocks;
    for (const auto &[start, count] : spans) {
        if (count <= 0)
            continue;
        if (!blocks.isEmpty()) {
            Block &last = blocks.last();
            const int end = last.start + last.count;
            const int newEnd = std::max(end, start + count);
            if (start <= end && newEnd - last.start <= maxCount) {
                last.count = newEnd - last.start;
                continue;
            }
            if (start + count <= end)
                continue; // inside the last block already
        }
        blocks.append(Block{start, count});
    }
    return blocks;
}

uint64_t seedFromName(const QString &name)
{
    uint64_t h = 0xcbf29ce484222325ULL; // FNV-1a
    for (const QChar c : name) {
        h ^= c.unicode();
        h *= 0x100000001b3ULL;
    }
    return h;
}

double simulatedValue(const SimChannel &sim, uint64_t seed, double seconds, uint64_t sample)
{
    const double phase = sim.phase ? *sim.phase / 360.0 : unit(seed, 0x5eed);
    const double cycle = seconds / sim.period + phase;
    const double frac = cycle - std::floor(cycle);
    const double span = sim.max - sim.min;
    double v = sim.min;
    switch (sim.shape) {
    case SimChannel::Shape::Sine:
        v = sim.min + span * (0.5 + 0.5 * std::sin(2 * std::numbers::pi * cycle));
        break;
    case SimChannel::Shape::Ramp:
        v = sim.min + span * frac;
        break;
    case SimChannel::Shape::Step:
        v = frac < 0.5 ? sim.min : sim.max;
        break;
    case SimChannel::Shape::Random: {
        // A smooth wander: a random level every tenth of a period, eased
        // from one to the next.
        const double x = cycle * 10;
        const double k = std::floor(x);
        const double t = x - k;
        const double ease = t * t * (3 - 2 * t);
        const double a = unit(seed, uint64_t(int64_t(k)));
        const double b = unit(seed, uint64_t(int64_t(k) + 1));
        v = sim.min + span * (a + (b - a) * ease);
        break;
    }
    }
    if (sim.noise > 0)
        v += sim.noise * (2 * unit(seed ^ 0x6e6f697365ULL, sample) - 1);
    return v;
}

} // namespace channels
