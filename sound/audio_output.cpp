#include "audio_output.h"

#include "cue_decoder.h"
#include "cue_mixer.h"

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>

using namespace std::chrono_literals;

namespace {

// How often the worker looks at an open device, and how long it waits between attempts to open
// one while there is no audio server.
constexpr auto watchInterval = 500ms;
constexpr auto retryInterval = 1s;

// SDL's audio subsystem is one per process. Each worker holds this for its whole life, so the
// worker of an output being destroyed finishes before the next output's worker starts.
std::mutex &audioSubsystemMutex()
{
    static auto *mutex = new std::mutex; // never destroyed: a worker may outlive main()
    return *mutex;
}

void SDLCALL fillFromMixer(void *mixer, Uint8 *stream, int length)
{
    static_cast<CueMixer *>(mixer)->fill(
        std::span(reinterpret_cast<std::int16_t *>(stream), std::size_t(length) / 2));
}

} // namespace

struct AudioOutput::Shared
{
    std::shared_ptr<CueMixer> mixer;
    int bufferSamples = 0;
    std::atomic<bool> open = false;
    std::mutex mutex;
    std::condition_variable changed;
    bool stopping = false;
    bool woken = false;

    // Waits for the interval, a wake() or the end; true when the worker is to end.
    bool pause(std::chrono::milliseconds interval)
    {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, interval, [this] { return stopping || woken; });
        woken = false;
        return stopping;
    }

    void run();
};

void AudioOutput::Shared::run()
{
    std::lock_guard subsystem(audioSubsystemMutex());
    // How SDL's audio was started: the whole subsystem, with whatever driver works, the first
    // time; after that only a sound server's driver, chosen by name.
    enum class Started { No, Subsystem, ServerDriver } started = Started::No;
    bool firstAttempt = true;
    SDL_AudioDeviceID device = 0;

    auto closeAll = [&] {
        open = false;
        if (device != 0)
            SDL_CloseAudioDevice(device);
        device = 0;
        // SDL keeps the driver it chose at start (ALSA when there was no server then); only
        // starting its audio afresh makes it look for the server again.
        if (started == Started::Subsystem)
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        else if (started == Started::ServerDriver)
            SDL_AudioQuit();
        started = Started::No;
    };

    auto startAudio = [&] {
        if (std::exchange(firstAttempt, false)) {
            if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
                return false;
            started = Started::Subsystem;
            return true;
        }
        // Retrying ALSA itself once a second would have libasound print its complaints every
        // second on a machine with no sound at all; what comes back is a server.
        for (const char *driver : {"pulseaudio", "pipewire"})
            if (SDL_AudioInit(driver) == 0) {
                started = Started::ServerDriver;
                return true;
            }
        return false;
    };

    auto tryOpen = [&] {
        if (started == Started::No && !startAudio())
            return false;
        SDL_AudioSpec wanted {};
        wanted.freq = cueDeviceRate;
        wanted.format = AUDIO_S16SYS;
        wanted.channels = 1;
        wanted.samples = Uint16(bufferSamples);
        wanted.callback = fillFromMixer;
        wanted.userdata = mixer.get();
        // Cues asked for while there was no device are dropped, not played late.
        mixer->forgetRequests();
        device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
        if (device == 0)
            return false;
        SDL_PauseAudioDevice(device, 0);
        open = true;
        return true;
    };

    while (true) {
        std::chrono::milliseconds wait = watchInterval;
        if (device == 0) {
            if (!tryOpen()) {
                closeAll();
                wait = retryInterval;
            }
        } else if (SDL_GetAudioDeviceStatus(device) == SDL_AUDIO_STOPPED) {
            // The server went away: try again at once, then once a second.
            closeAll();
            continue;
        }
        if (pause(wait))
            break;
    }
    closeAll();
}

AudioOutput::AudioOutput(std::shared_ptr<CueMixer> mixer, int bufferSamples)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->mixer = std::move(mixer);
    m_shared->bufferSamples = bufferSamples;
    // An SDL thread rather than a std::thread: SDL frees what it keeps per thread (its error
    // text) only for threads of its own.
    auto *handOver = new std::shared_ptr<Shared>(m_shared);
    const SDL_ThreadFunction run = [](void *data) {
        const std::unique_ptr<std::shared_ptr<Shared>> shared(
            static_cast<std::shared_ptr<Shared> *>(data));
        (*shared)->run();
        return 0;
    };
    SDL_Thread *worker = SDL_CreateThread(run, "cue-audio", handOver);
    if (worker)
        SDL_DetachThread(worker);
    else
        delete handOver; // no worker, no output: cues stay silent
}

AudioOutput::~AudioOutput()
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->stopping = true;
    }
    m_shared->changed.notify_all();
}

bool AudioOutput::isOpen() const
{
    return m_shared->open;
}

void AudioOutput::wake()
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->woken = true;
    }
    m_shared->changed.notify_all();
}
