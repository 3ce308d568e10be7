// The alarm sound library: the compiled-in sounds, name lookup, the
// current-sound buffer and the process-wide player.

#include "alarmsound.h"
#include "soundnames.h"
#include "error.h"

#include <QTest>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>

using namespace quellix;

namespace {

/// What the test reads out of a WAVE image, on its own terms: the canonical
/// RIFF layout with the chunk walk the format defines.
struct Header {
    bool ok = false;
    quint32 riffSize = 0;
    int tag = 0, channels = 0, bits = 0, rate = 0, byteRate = 0, blockAlign = 0;
    QByteArray samples;
};

Header readHeader(const QByteArray &image)
{
    Header h;
    auto u16 = [&](qsizetype at) { return int(qFromLittleEndian<quint16>(image.constData() + at)); };
    auto u32 = [&](qsizetype at) { return qFromLittleEndian<quint32>(image.constData() + at); };
    if (image.size() < 12 || !image.startsWith("RIFF") || image.mid(8, 4) != "WAVE")
        return h;
    h.riffSize = u32(4);
    bool haveFmt = false;
    for (qsizetype at = 12; at + 8 <= image.size();) {
        const QByteArray id = image.mid(at, 4);
        const qsizetype len = u32(at + 4);
        if (id == "fmt " && len >= 16 && at + 8 + len <= image.size()) {
            h.tag = u16(at + 8);
            h.channels = u16(at + 10);
            h.rate = int(u32(at + 12));
            h.byteRate = int(u32(at + 16));
            h.blockAlign = u16(at + 20);
            h.bits = u16(at + 22);
            haveFmt = true;
        } else if (id == "data") {
            h.samples = image.mid(at + 8, len);
            h.ok = haveFmt && h.samples.size() == len;
            return h;
        }
        at += 8 + len + (len & 1);
    }
    return h;
}

struct Expected { const char *name; int channels, bits, rate, frames; };

// The sound library in the order the configuration offers it.
const Expected kLibrary[] = {
    {"AHOOGA", 1, 8, 11025, 23124},  {"ALARM1", 1, 8, 11025, 30664}, {"BEEP", 1, 8, 11025, 2418},
    {"BUZZER", 1, 8, 11025, 2303},   {"CAUTION", 1, 8, 22050, 14725}, {"GABING", 1, 8, 11000, 5902},
    {"GBUZZER", 1, 8, 11025, 2048},  {"KLIRR2", 1, 8, 11025, 12496}, {"PLUCK", 1, 8, 22050, 8896},
    {"PLUNK", 1, 8, 22000, 7353},    {"POLICE", 1, 8, 11025, 6236},  {"REDALERT", 1, 8, 11025, 10119},
    {"TON2", 1, 8, 11025, 12035},    {"TUUET1", 1, 8, 11025, 6021},  {"WARNING", 2, 16, 44100, 40181},
};

/// Sees every start and stop; the log outlives the player the library owns.
struct Call { bool play; QByteArray wave; };
class RecordingPlayer : public SoundPlayer
{
public:
    explicit RecordingPlayer(std::shared_ptr<QList<Call>> log) : m_log(std::move(log)) {}
    void play(const QByteArray &wave) override { m_log->append(Call{true, wave}); }
    void stop() override { m_log->append(Call{false, {}}); }

private:
    std::shared_ptr<QList<Call>> m_log;
};

QStringList g_soundMessages;
void recordSoundMessages(QtMsgType, const QMessageLogContext &context, const QString &text)
{
    if (context.category && QByteArray(context.category) == "quellix.sound")
        g_soundMessages.append(text);
}

/// A minimal PCM WAVE image: the given fmt fields, optional chunks before
/// the data, and a data chunk of `dataLength` declared bytes with `present`
/// bytes actually there.
QByteArray image(int tag, int channels, int bits, int blockAlign, quint32 dataLength,
                 qsizetype present, const QByteArray &before = {})
{
    auto le16 = [](int v) { QByteArray b(2, 0); qToLittleEndian<quint16>(quint16(v), b.data()); return b; };
    auto le32 = [](quint32 v) { QByteArray b(4, 0); qToLittleEndian<quint32>(v, b.data()); return b; };
    QByteArray fmt = le16(tag) + le16(channels) + le32(8000) + le32(8000u * blockAlign)
                     + le16(blockAlign) + le16(bits);
    QByteArray body = "WAVE" + ("fmt " + le32(16) + fmt) + before + "data" + le32(dataLength)
                      + QByteArray(present, '\x40');
    return "RIFF" + le32(quint32(body.size())) + body;
}

} // namespace

class TestAlarmSound : public QObject
{
    Q_OBJECT

    std::shared_ptr<QList<Call>> m_calls;

private Q_SLOTS:
    void init()
    {
        m_calls = std::make_shared<QList<Call>>();
        setSoundPlayer(std::make_unique<RecordingPlayer>(m_calls));
    }
    void cleanup() { setSoundPlayer(nullptr); }

    void namesInConfigurationOrder()
    {
        QStringList expected;
        for (const Expected &e : kLibrary)
            expected << QString::fromLatin1(e.name);
        QCOMPARE(schema::alarmSoundNames(), expected);
    }

    void soundIsWellFormedAndAudible_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < int(std::size(kLibrary)); ++i)
            QTest::newRow(kLibrary[i].name) << i;
    }
    void soundIsWellFormedAndAudible()
    {
        QFETCH(int, index);
        const Expected &e = kLibrary[index];
        const QByteArray wave = loadAlarmSound(QString::fromLatin1(e.name));
        const Header h = readHeader(wave);
        QVERIFY2(h.ok, "not a RIFF WAVE image with fmt and data chunks");
        QCOMPARE(qsizetype(h.riffSize), wave.size() - 8);
        QCOMPARE(h.tag, 1);
        QCOMPARE(h.channels, e.channels);
        QCOMPARE(h.bits, e.bits);
        QCOMPARE(h.rate, e.rate);
        QCOMPARE(h.blockAlign, e.channels * e.bits / 8);
        QCOMPARE(h.byteRate, e.rate * h.blockAlign);
        QCOMPARE(h.samples.size(), qsizetype(e.frames) * h.blockAlign);

        // The player's own parser must find the same samples.
        const std::optional<WavePcm> pcm = parseWavePcm(wave);
        QVERIFY(pcm);
        QCOMPARE(pcm->frames(), qsizetype(e.frames));
        QCOMPARE(wave.mid(pcm->dataOffset, pcm->dataSize), h.samples);

        // Per channel: a real amplitude range, no DC offset, no samples stuck
        // at the rails, and silence at both ends so start and stop do not click.
        const double full = e.bits == 8 ? 128.0 : 32768.0;
        for (int c = 0; c < e.channels; ++c) {
            double lo = 0, hi = 0, sum = 0, first = 0, last = 0;
            int railed = 0;
            for (int i = 0; i < e.frames; ++i) {
                const qsizetype at = qsizetype(i) * h.blockAlign + c * (e.bits / 8);
                const double v = e.bits == 8 ? double(quint8(h.samples[at])) - 128.0
                                             : double(qFromLittleEndian<qint16>(h.samples.constData() + at));
                lo = std::min(lo, v);
                hi = std::max(hi, v);
                sum += v;
                railed += (v <= -full || v >= full - 1);
                if (i == 0)
                    first = v;
                last = v;
            }
            QVERIFY2((hi - lo) / (2 * full) > 0.5, qPrintable(QStringLiteral("channel %1 nearly silent").arg(c)));
            QVERIFY2(std::abs(sum / e.frames) < 0.02 * full, "DC offset");
            QCOMPARE(railed, 0);
            QVERIFY2(std::abs(first) < 0.02 * full && std::abs(last) < 0.02 * full, "clicks at the ends");
        }
    }

    void namesOutsideLibraryPlayNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("empty") << QString();
        QTest::newRow("lower case") << QStringLiteral("beep");
        QTest::newRow("mixed case") << QStringLiteral("Beep");
        QTest::newRow("trailing blank") << QStringLiteral("BEEP ");
        QTest::newRow("file name") << QStringLiteral("BEEP.wav");
        QTest::newRow("unknown") << QStringLiteral("SIREN");
        QTest::newRow("path walks to a sibling") << QStringLiteral("BEEP/../AHOOGA");
        QTest::newRow("path walks up") << QStringLiteral("../Sound/BEEP");
    }
    void namesOutsideLibraryPlayNothing()
    {
        QFETCH(QString, name);
        playAlarmSound(QStringLiteral("PLUCK"));
        const QByteArray before = currentAlarmSound();
        m_calls->clear();

        for (auto attempt : {&loadAlarmSound, +[](const QString &n) { playAlarmSound(n); return QByteArray(); }}) {
            try {
                attempt(name);
                QFAIL("no error for a name outside the library");
            } catch (const Error &error) {
                QCOMPARE(error.kind(), Error::Kind::NotFound);
            }
        }
        QVERIFY(m_calls->isEmpty());
        QCOMPARE(currentAlarmSound(), before);
    }

    void startsReplaceBufferAndReachPlayer()
    {
        const QByteArray ahooga = loadAlarmSound(QStringLiteral("AHOOGA"));
        const QByteArray beep = loadAlarmSound(QStringLiteral("BEEP"));
        QVERIFY(ahooga != beep);

        // A start lets pending user-interface events run before it returns.
        bool ran = false;
        QMetaObject::invokeMethod(this, [&ran] { ran = true; }, Qt::QueuedConnection);
        playAlarmSound(QStringLiteral("AHOOGA"));
        QVERIFY(ran);
        QCOMPARE(currentAlarmSound(), ahooga);

        playAlarmSound(QStringLiteral("BEEP"));
        stopAlarmSound();
        QCOMPARE(m_calls->size(), 3);
        QVERIFY(m_calls->at(0).play && m_calls->at(0).wave == ahooga);
        QVERIFY(m_calls->at(1).play && m_calls->at(1).wave == beep);
        QVERIFY(!m_calls->at(2).play);
        QCOMPARE(currentAlarmSound(), beep); // a stop keeps the last sound
    }

    void parserHandlesOddImages()
    {
        QVERIFY(!parseWavePcm({}));
        QVERIFY(!parseWavePcm(QByteArray("RIFF\x04\0\0\0WAVE", 12)));
        const QByteArray good = image(1, 2, 16, 4, 40, 40);
        for (qsizetype cut = 0; cut < 44; ++cut)
            QVERIFY2(!parseWavePcm(good.left(cut)), qPrintable(QString::number(cut)));
        QCOMPARE(parseWavePcm(good)->frames(), 10);

        QVERIFY(!parseWavePcm(image(3, 1, 32, 4, 8, 8)));  // floating point
        QVERIFY(!parseWavePcm(image(1, 0, 8, 0, 8, 8)));   // no channels
        QVERIFY(!parseWavePcm(image(1, 1, 24, 3, 9, 9)));  // 24-bit
        QVERIFY(!parseWavePcm(image(1, 2, 16, 2, 8, 8)));  // block align disagrees

        // Declared data beyond the image: only the whole frames present.
        const std::optional<WavePcm> cut = parseWavePcm(image(1, 2, 16, 4, 4000, 23));
        QVERIFY(cut);
        QCOMPARE(cut->frames(), 5);
        QCOMPARE(cut->dataOffset + cut->dataSize, qsizetype(44 + 20));

        // Other chunks before the data are skipped, odd ones with their pad byte.
        const std::optional<WavePcm> listed
            = parseWavePcm(image(1, 1, 8, 1, 6, 6, QByteArray("LIST\x03\0\0\0abc\0", 12)));
        QVERIFY(listed);
        QCOMPARE(listed->dataOffset, qsizetype(12 + 24 + 12 + 8));
        QCOMPARE(listed->frames(), 6);
        // A chunk claiming nearly 4 GiB ends the walk instead of reading past the image.
        QVERIFY(!parseWavePcm(image(1, 1, 8, 1, 6, 6, QByteArray("JUNK\xff\xff\xff\xff", 8))));
    }

    void defaultPlayerIsQuietWithoutOutput()
    {
        setSoundPlayer(nullptr);
        g_soundMessages.clear();
        const QtMessageHandler previous = qInstallMessageHandler(recordSoundMessages);
        for (int round = 0; round < 3; ++round) {
            for (const QString &name : schema::alarmSoundNames())
                playAlarmSound(name);
            stopAlarmSound();
            stopAlarmSound();
        }
        soundPlayer().play("not a sound");
        soundPlayer().play(QByteArray());
        stopAlarmSound();
        qInstallMessageHandler(previous);
        QCOMPARE(currentAlarmSound(), loadAlarmSound(QStringLiteral("WARNING")));
        // At most one note per reason (no output, not PCM), not one per start.
        QVERIFY2(g_soundMessages.size() <= 2, qPrintable(g_soundMessages.join(QLatin1Char('\n'))));
    }
};

QTEST_GUILESS_MAIN(TestAlarmSound)
#include "tst_alarmsound.moc"
