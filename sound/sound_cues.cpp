#include "sound_cues.h"

#include "audio_output.h"
#include "cue_decoder.h"
#include "cue_mixer.h"

#include <QApplication>
#include <SDL.h>

#include <dlfcn.h>
#include <mutex>

namespace {

void ignoreAlsaError(const char *, int, const char *, int, const char *, ...) { }

// libasound prints its configuration errors on standard error when SDL tries it on a machine
// with no sound card; a missing card is no news to the user, and cues stay silent as without a
// server. SDL links libasound itself: it is set quiet only if loaded.
void quietenAlsa()
{
    void *alsa = dlopen("libasound.so.2", RTLD_LAZY | RTLD_NOLOAD);
    if (!alsa)
        return;
    using Handler = void (*)(const char *, int, const char *, int, const char *, ...);
    if (auto setHandler =
            reinterpret_cast<int (*)(Handler)>(dlsym(alsa, "snd_lib_error_set_handler")))
        setHandler(ignoreAlsaError);
    dlclose(alsa);
}

void setSdlHintsOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        quietenAlsa();
        // Qt handles the program's signals; SDL must not install handlers of its own.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "typing-drill");
        SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, "Key cues");
    });
}

} // namespace

struct SoundCues::Private
{
    std::function<void()> defaultAlert;
    std::shared_ptr<CueMixer> mixer = std::make_shared<CueMixer>();
    std::unique_ptr<AudioOutput> output;
};

SoundCues::SoundCues()
    : SoundCues(SoundCuesOptions())
{
}

SoundCues::SoundCues(SoundCuesOptions options)
    : m_private(std::make_unique<Private>())
{
    setSdlHintsOnce();
    m_private->defaultAlert = options.defaultAlert ? std::move(options.defaultAlert) : [] {
        QApplication::beep();
    };
    // Decoding both cues takes about a millisecond, and doing it here means playCue knows at
    // once whether an asset is missing.
    m_private->mixer->setCue(Verdict::Correct, loadCue(options.correctAsset));
    m_private->mixer->setCue(Verdict::Wrong, loadCue(options.wrongAsset));
    m_private->output =
        std::make_unique<AudioOutput>(m_private->mixer, options.bufferSamples, options.idleClose);
}

SoundCues::~SoundCues() = default;

void SoundCues::playCue(Verdict verdict)
{
    if (m_private->mixer->hasCue(verdict)) {
        // Noted as a use before it is asked for: the worker, which reads them in the other
        // order, then never closes the device on a cue it has not seen.
        m_private->output->noteUse();
        m_private->mixer->start(verdict);
    } else
        m_private->defaultAlert();
}

bool SoundCues::isOutputOpen() const
{
    return m_private->output->isOpen();
}

void SoundCues::prepare()
{
    m_private->output->wake();
}
