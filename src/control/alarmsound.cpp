// The alarm sound library and its player.
//
// The fifteen sounds are WAVE images compiled into the library as resources
// ":/Sound/<NAME>" (synthesised at build time by src/resources/soundgen.cpp).
// One process-wide player plays them from memory; the default one goes
// through Qt Multimedia and stays silent on machines without an audio output.

#include "alarmsound.h"
#include "soundnames.h"
#include "error.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QMediaDevices>

#include <algorithm>
#include <cstring>

namespace quellix {

namespace {

Q_LOGGING_CATEGORY(lcSound, "quellix.sound")

quint32 readLE32(const char *p)
{
    const auto *u = reinterpret_cast<const uchar *>(p);
    return quint32(u[0]) | quint32(u[1]) << 8 | quint32(u[2]) << 16 | quint32(u[3]) << 24;
}

quint16 readLE16(const char *p)
{
    const auto *u = reinterpret_cast<const uchar *>(p);
    return quint16(u[0] | u[1] << 8);
}

/// Plays through the default audio output with a QAudioSink reading the
/// samples straight out of the WAVE image. Every reason not to play (no
/// audio output, a format the output refuses, an image that is not PCM) is
/// reported once per process on the "quellix.sound" category and otherwise
/// passes silently: the scan restarts its sound every tick and must not
/// flood the log on a panel without speakers.
class AudioOutputPlayer final : public SoundPlayer
{
public:
    ~AudioOutputPlayer() override { stop(); }

    void play(const QByteArray &wave) override
    {
        stop(); // a new start cuts off the sound still playing
        const std::optional<WavePcm> pcm = parseWavePcm(wave);
        if (!pcm)
            return unavailable(NotPcm, "the sound is not a PCM WAVE image");
        if (!QCoreApplication::instance())
            return unavailable(NoApplication, "there is no application object");
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull())
            return unavailable(NoDevice, "there is no audio output device");

        QAudioFormat format;
        format.setSampleRate(pcm->sampleRate);
        format.setChannelCount(pcm->channels);
        format.setSampleFormat(pcm->bitsPerSample == 8    ? QAudioFormat::UInt8
                               : pcm->bitsPerSample == 16 ? QAudioFormat::Int16
                                                          : QAudioFormat::Int32);
        if (!device.isFormatSupported(format))
            return unavailable(Refused, "the audio output refuses the sound's format");

        // The sink reads from our own shared copy of the image, so the bytes
        // stay alive however the caller's buffer changes meanwhile.
        m_wave = wave;
        m_samples.setData(QByteArray::fromRawData(m_wave.constData() + pcm->dataOffset, pcm->dataSize));
        m_samples.open(QIODevice::ReadOnly);
        m_sink = std::make_unique<QAudioSink>(device, format);
        QAudioSink *sink = m_sink.get();
        // At the end of the samples the sink idles; stopping it releases the
        // output stream until the next start.
        QObject::connect(sink, &QAudioSink::stateChanged, sink, [sink](QAudio::State state) {
            if (state == QAudio::IdleState)
                sink->stop();
        });
        sink->start(&m_samples);
        if (sink->error() != QAudio::NoError) {
            stop();
            unavailable(Refused, "the audio output refuses to start the sound");
        }
    }

    void stop() override
    {
        if (m_sink) {
            m_sink->stop();
            m_sink.reset();
        }
        m_samples.close();
        m_samples.setData(QByteArray());
        m_wave.clear();
    }

private:
    enum Reason { NotPcm = 1, NoApplication = 2, NoDevice = 4, Refused = 8 };

    void unavailable(Reason reason, const char *why)
    {
        if (m_reported & reason)
            return;
        m_reported |= reason;
        qCInfo(lcSound, "Alarm sound not played: %s.", why);
    }

    QByteArray m_wave;
    QBuffer m_samples;
    std::unique_ptr<QAudioSink> m_sink;
    int m_reported = 0;
};

std::unique_ptr<SoundPlayer> g_player;
bool g_releaseRegistered = false;

/// Runs when the application object is destroyed: an audio sink must go
/// before the multimedia backend it talks to, which static destruction
/// after main() does not guarantee.
void releasePlayer()
{
    g_player.reset();
    g_releaseRegistered = false;
}

QByteArray &currentSoundBuffer()
{
    static QByteArray buffer;
    return buffer;
}

} // namespace

QByteArray loadAlarmSound(const QString &name)
{
    // The name comes from a settings row the user can edit. Only an exact
    // library name may form the resource path, so that a text such as
    // "BEEP/../../x" can never reach another resource.
    if (!schema::alarmSoundNames().contains(name))
        throw Error(Error::Kind::NotFound, QStringLiteral("No alarm sound named '%1'.").arg(name));
    QFile file(QStringLiteral(":/Sound/") + name);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(Error::Kind::NotFound,
                    QStringLiteral("The alarm sound '%1' is missing from the library.").arg(name));
    return file.readAll();
}

std::optional<WavePcm> parseWavePcm(const QByteArray &wave)
{
    const qint64 size = wave.size();
    const char *data = wave.constData();
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
        return std::nullopt;

    std::optional<WavePcm> pcm;
    qint64 at = 12;
    while (at + 8 <= size) {
        const char *id = data + at;
        const qint64 length = readLE32(data + at + 4);
        const qint64 body = at + 8;
        if (std::memcmp(id, "fmt ", 4) == 0) {
            if (length < 16 || body + length > size)
                return std::nullopt;
            WavePcm f;
            const quint16 tag = readLE16(data + body);
            f.channels = readLE16(data + body + 2);
            f.sampleRate = int(readLE32(data + body + 4) & 0x7fffffff);
            const int blockAlign = readLE16(data + body + 12);
            f.bitsPerSample = readLE16(data + body + 14);
            if (tag != 1 || f.channels < 1 || f.sampleRate < 1
                || (f.bitsPerSample != 8 && f.bitsPerSample != 16 && f.bitsPerSample != 32)
                || blockAlign != f.blockAlign())
                return std::nullopt;
            pcm = f;
        } else if (std::memcmp(id, "data", 4) == 0) {
            if (!pcm)
                return std::nullopt; // samples before their format cannot be read
            const qint64 present = std::min(length, size - body);
            pcm->dataOffset = qsizetype(body);
            pcm->dataSize = qsizetype(present - present % pcm->blockAlign());
            return pcm;
        }
        at = body + length + (length & 1); // chunks are padded to even length
    }
    return std::nullopt;
}

void setSoundPlayer(std::unique_ptr<SoundPlayer> player) { g_player = std::move(player); }

SoundPlayer &soundPlayer()
{
    if (!g_player)
        g_player = std::make_unique<AudioOutputPlayer>();
    if (!g_releaseRegistered && QCoreApplication::instance()) {
        qAddPostRoutine(releasePlayer);
        g_releaseRegistered = true;
    }
    return *g_player;
}

const QByteArray &currentAlarmSound() { return currentSoundBuffer(); }

void playAlarmSound(const QString &name)
{
    QByteArray wave = loadAlarmSound(name); // an unknown name changes nothing
    QByteArray &buffer = currentSoundBuffer();
    buffer = std::move(wave);
    soundPlayer().play(buffer);
    // Clicks and timers of every control may run here, including another
    // start; nothing below depends on the buffer any more.
    QCoreApplication::processEvents();
}

void stopAlarmSound() { soundPlayer().stop(); }

} // namespace quellix
