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
// A device closed for lack of use waits for a wake(), however long that takes.
constexpr auto restInterval = std::chrono::hours(24);

using Clock = std::chrono::steady_clock;

std::int64_t nowTicks()
{
    return Clock::now().time_since_epoch().count();
}

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
    std::chrono::milliseconds idleClose {0};
    std::atomic<bool> open = false;
    // Closed for lack of use, to be opened again by the next use.
    std::atomic<bool> resting = false;
    // When the output was last used, in ticks of the steady clock.
    std::atomic<std::int64_t> lastUse = nowTicks();
    std::mutex mutex;
    std::condition_variable changed;
    bool stopping = false;
    bool woken = false;

    enum class Paused { Timeout, Woken, Stopping };
    // Waits for the interval, a wake() or the end.
    Paused pause(Clock::duration interval)
    {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, interval, [this] { return stopping || woken; });
        if (stopping)
            return Paused::Stopping;
        return std::exchange(woken, false) ? Paused::Woken : Paused::Timeout;
    }

    bool unusedForLong() const
    {
        return idleClose.count() > 0
            && Clock::now() - Clock::time_point(Clock::duration(lastUse.load())) >= idleClose;
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

    // Cues asked for while there was no device are dropped, not played late; but a cue that
    // asks a device closed for lack of use to open again is the one to play.
    bool dropRequests = true;
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
        if (std::exchange(dropRequests, true))
            mixer->forgetRequests();
        device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
        if (device == 0)
            return false;
        SDL_PauseAudioDevice(device, 0);
        open = true;
        return true;
    };

    while (true) {
        Clock::duration wait = watchInterval;
        if (resting) {
            wait = restInterval;
        } else if (device == 0) {
            if (!tryOpen()) {
                closeAll();
                wait = retryInterval;
            }
        } else if (SDL_GetAudioDeviceStatus(device) == SDL_AUDIO_STOPPED) {
            // The server went away: try again at once, then once a second.
            closeAll();
            continue;
        } else if (const std::uint32_t request = mixer->latestRequest(); unusedForLong()) {
            // SDL's audio stays started, so opening again is only a new stream on the server.
            SDL_CloseAudioDevice(device);
            device = 0;
            open = false;
            // A cue asked for while the device closed may have gone into its last buffer, cut
            // off at once: it plays from its start when the device opens again for it.
            mixer->keepRequestsSince(request);
            resting = true;
            // A cue that came while closing saw no rest to end: open again for it at once.
            if (!unusedForLong()) {
                resting = false;
                dropRequests = false;
            }
            continue;
        }
        const Paused paused = pause(wait);
        if (paused == Paused::Stopping)
            break;
        if (paused == Paused::Woken && resting) {
            resting = false;
            dropRequests = false;
        }
    }
    closeAll();
}

AudioOutput::AudioOutput(std::shared_ptr<CueMixer> mixer, int bufferSamples,
                         std::chrono::milliseconds idleClose)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->mixer = std::move(mixer);
    m_shared->bufferSamples = bufferSamples;
    m_shared->idleClose = idleClose;
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
    m_shared->lastUse = nowTicks();
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->woken = true;
    }
    m_shared->changed.notify_all();
}

void AudioOutput::noteUse()
{
    m_shared->lastUse = nowTicks();
    if (m_shared->resting)
        wake();
}
