#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

namespace quellix {

/// The fifteen alarm sound names, in the order the configuration offers them.
const QStringList &alarmSoundNames();

/// The bytes of the named alarm sound (a RIFF WAVE file of uncompressed
/// PCM). Throws quellix::Error (NotFound) for a name outside the library.
QByteArray loadAlarmSound(const QString &name);

/// Plays sounds held in memory. One process-wide player serves every
/// control; tests install their own to see every start and stop.
class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;
    /// Starts asynchronous playback of a WAVE image, cutting off any sound
    /// still playing. The bytes stay untouched until the next play or stop.
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

/// Stops whatever alarm sound plays.
void stopAlarmSound();

} // namespace quellix
