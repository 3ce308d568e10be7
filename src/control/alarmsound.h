#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace quellix {

/// The bytes of the named alarm sound (a RIFF WAVE file of uncompressed
/// PCM). Throws quellix::Error (NotFound) for a name outside the library.
QByteArray loadAlarmSound(const QString &name);

/// Where the samples of a RIFF WAVE image of uncompressed PCM lie and how
/// they are laid out.
struct WavePcm
{
    int channels = 0;
    int bitsPerSample = 0;
    int sampleRate = 0;
    qsizetype dataOffset = 0; ///< first byte of the samples in the image
    qsizetype dataSize = 0;   ///< bytes of whole frames present in the image
    int blockAlign() const { return channels * bitsPerSample / 8; }
    qsizetype frames() const { return blockAlign() > 0 ? dataSize / blockAlign() : 0; }
};

/// Reads the header of a RIFF WAVE image of uncompressed PCM (8, 16 or
/// 32 bits per sample). Anything else, including a truncated header, gives
/// nullopt. A data chunk that claims more bytes than the image holds is
/// limited to the whole frames present.
std::optional<WavePcm> parseWavePcm(const QByteArray &wave);

/// Plays sounds held in memory. One process-wide player serves every
/// control; tests install their own to see every start and stop.
class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;
    /// Starts asynchronous playback of a WAVE image, cutting off any sound
    /// still playing. The bytes stay untouched until the next play or stop;
    /// a player that reads them after returning keeps its own (implicitly
    /// shared) copy, so replacing the current-sound buffer never frees data
    /// that is still being played.
    virtual void play(const QByteArray &wave) = 0;
    /// Stops whatever plays; nothing happens when nothing plays.
    virtual void stop() = 0;
};

/// Installs the process-wide player (nullptr restores the default player,
/// which plays through the audio output and stays silent without one).
void setSoundPlayer(std::unique_ptr<SoundPlayer> player);
SoundPlayer &soundPlayer();

/// Loads the named sound into the current-sound buffer, starts it from
/// memory and lets pending user-interface events run once. Throws
/// quellix::Error (NotFound) for a name outside the library; nothing plays then.
void playAlarmSound(const QString &name);

/// The sound started last (empty before the first start). A start that
/// fails to load its sound leaves it unchanged; a stop keeps it.
const QByteArray &currentAlarmSound();

/// Stops whatever alarm sound plays.
void stopAlarmSound();

} // namespace quellix
