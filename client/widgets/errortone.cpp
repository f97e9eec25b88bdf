#include "client/widgets/errortone.h"

#include "gui/guiapplication.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QPointer>
#include <QSoundEffect>
#include <QTemporaryFile>
#include <QUrl>

#include <cmath>
#include <numbers>

namespace {

constexpr int kSampleRate = 22050;

struct Beep
{
    double frequency;
    int milliseconds;
};

// Two falling beeps, the way a scanner's own error sounds, with a short
// silence between them.
constexpr Beep kBeeps[] = {{988.0, 110}, {0.0, 40}, {659.0, 160}};

QByteArray toneSamples()
{
    QByteArray samples;
    QDataStream out(&samples, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    for (const Beep& beep : kBeeps) {
        const int count = kSampleRate * beep.milliseconds / 1000;
        const int fade = kSampleRate / 200; // 5 ms in and out, so it does not click
        for (int i = 0; i < count; ++i) {
            const double envelope = std::min({1.0, double(i) / fade, double(count - i) / fade});
            const double wave = std::sin(2.0 * std::numbers::pi * beep.frequency * i / kSampleRate);
            out << qint16(beep.frequency > 0 ? 0.6 * 32767 * envelope * wave : 0);
        }
    }
    return samples;
}

// A 16-bit mono PCM WAVE file around the samples.
QByteArray waveFile(const QByteArray& samples)
{
    QByteArray file;
    QDataStream out(&file, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + samples.size());
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(kSampleRate)
        << quint32(kSampleRate * 2) << quint16(2) << quint16(16);
    out.writeRawData("data", 4);
    out << quint32(samples.size());
    out.writeRawData(samples.constData(), int(samples.size()));
    return file;
}

int& playCount()
{
    static int count = 0;
    return count;
}

QSoundEffect* makeEffect()
{
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        return nullptr;
    // The file lives as long as the effect that reads it: the application's.
    auto* file = new QTemporaryFile(QStringLiteral("norvalk-tone-XXXXXX.wav"), application);
    if (!file->open() || file->write(waveFile(toneSamples())) < 0 || !file->flush())
        return nullptr;
    auto* sound = new QSoundEffect(application);
    sound->setSource(QUrl::fromLocalFile(file->fileName()));
    sound->setVolume(0.9f);
    return sound;
}

// Made once, on first use; when the tone cannot be made it is not tried again.
QSoundEffect* effect()
{
    static QPointer<QSoundEffect> sound = makeEffect();
    return sound;
}

} // namespace

void ErrorTone::play()
{
    ++playCount();
    if (QSoundEffect* sound = effect())
        sound->play(); // returns at once; a missing device only stays silent
}

int ErrorTone::timesPlayed()
{
    return playCount();
}

void ShowMessageWithTone(const QString& text)
{
    ErrorTone::play();
    showMessageBox(text);
}
