#include "cue_decoder.h"

#include <QFile>
#include <SDL.h>

#include <cstring>

std::optional<std::vector<std::int16_t>> decodeCue(const void *bytes, std::size_t size)
{
    // A cut-short file is refused rather than played in part. Setting the same value again
    // changes nothing, so this is safe while another thread reads SDL's hints.
    SDL_SetHint(SDL_HINT_WAVE_TRUNCATION, "verystrict");
    SDL_RWops *stream = SDL_RWFromConstMem(bytes, int(size));
    if (!stream)
        return std::nullopt;
    SDL_AudioSpec spec;
    Uint8 *wave = nullptr;
    Uint32 waveLength = 0;
    // Frees the stream whether or not loading succeeds.
    if (!SDL_LoadWAV_RW(stream, 1, &spec, &wave, &waveLength))
        return std::nullopt;

    SDL_AudioCVT cvt;
    if (SDL_BuildAudioCVT(&cvt, spec.format, spec.channels, spec.freq, AUDIO_S16SYS, 1,
                          cueDeviceRate)
        < 0) {
        SDL_FreeWAV(wave);
        return std::nullopt;
    }
    std::vector<Uint8> work(std::size_t(waveLength) * std::size_t(cvt.len_mult));
    std::memcpy(work.data(), wave, waveLength);
    SDL_FreeWAV(wave);
    cvt.buf = work.data();
    cvt.len = int(waveLength);
    if (cvt.needed && SDL_ConvertAudio(&cvt) < 0)
        return std::nullopt;

    const std::size_t convertedBytes = cvt.needed ? std::size_t(cvt.len_cvt) : waveLength;
    std::vector<std::int16_t> samples(convertedBytes / sizeof(std::int16_t));
    std::memcpy(samples.data(), work.data(), samples.size() * sizeof(std::int16_t));
    if (samples.empty())
        return std::nullopt;
    return samples;
}

std::vector<std::int16_t> loadCue(const std::string &path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return decodeCue(bytes.constData(), std::size_t(bytes.size()))
        .value_or(std::vector<std::int16_t>());
}
