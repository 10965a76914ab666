#include "lazy_sound_cues.h"

#include "cue_output.h"

#include <QApplication>
#include <QObject>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <dlfcn.h>
#include <mutex>
#include <optional>
#include <thread>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// A cue asked for while the module loads is played when its output opens only if that is
// this soon after it was asked for: later it would be heard as the answer to the next key. The
// output itself drops cues asked for while it has no device, for the same reason.
constexpr auto latestCue = 100ms;
// How long the loader waits for the loaded output to open before handing over anyway (no
// audio server: the output retries on its own, and cues meanwhile are dropped).
constexpr auto openWait = 1s;

std::string defaultModulePath()
{
    return QCoreApplication::applicationDirPath().toStdString() + "/" SOUND_MODULE_FROM_PROGRAM;
}

} // namespace

struct LazySoundCues::Private
{
    enum class Stage { Idle, Loading, Ready, Failed };
    struct PendingCue
    {
        Verdict verdict;
        Clock::time_point asked;
    };

    LazySoundCuesOptions options;
    // Owned by the main thread.
    Stage stage = Stage::Idle;
    std::optional<PendingCue> pending;
    std::unique_ptr<CueOutput> output;

    // Written by the loader before it hands over, read by the main thread after.
    std::unique_ptr<CueOutput> loaded;
    std::string fault;

    std::thread loader;
    std::mutex mutex;
    std::condition_variable stop;
    bool stopping = false;
    // Hand-overs are posted to it; its end drops one not yet delivered.
    QObject context;

    void startLoading();
    void load();
    void handOver();
    void alert() const { options.defaultAlert ? options.defaultAlert() : QApplication::beep(); }
};

void LazySoundCues::Private::startLoading()
{
    if (stage != Stage::Idle)
        return;
    stage = Stage::Loading;
    loader = std::thread([this] { load(); });
}

void LazySoundCues::Private::load()
{
    // Never closed: the output's own worker may outlive it, running the module's code.
    void *module = dlopen(options.modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto make =
        module ? reinterpret_cast<MakeCueOutput>(dlsym(module, makeCueOutputSymbol)) : nullptr;
    if (make)
        loaded.reset(make());
    if (!loaded) {
        const char *error = dlerror();
        fault = error ? error : "the sound module made no cues";
    } else {
        // A cue played before the device opens would be dropped by the output: hold it here.
        std::unique_lock lock(mutex);
        const auto deadline = Clock::now() + openWait;
        while (!stopping && !loaded->isOutputOpen() && Clock::now() < deadline)
            stop.wait_for(lock, 1ms);
    }
    QMetaObject::invokeMethod(
        &context, [this] { handOver(); }, Qt::QueuedConnection);
}

void LazySoundCues::Private::handOver()
{
    loader.join();
    const bool late = pending && Clock::now() - pending->asked > latestCue;
    if (loaded) {
        output = std::move(loaded);
        stage = Stage::Ready;
        if (pending && !late)
            output->playCue(pending->verdict);
    } else {
        stage = Stage::Failed;
        std::fprintf(stderr, "typing-drill: no sound cues, the default alert instead: %s\n",
                     fault.c_str());
        if (pending && !late)
            alert();
    }
    pending.reset();
}

LazySoundCues::LazySoundCues()
    : LazySoundCues(LazySoundCuesOptions())
{
}

LazySoundCues::LazySoundCues(LazySoundCuesOptions options)
    : m_private(std::make_unique<Private>())
{
    if (options.modulePath.empty())
        options.modulePath = defaultModulePath();
    m_private->options = std::move(options);
}

LazySoundCues::~LazySoundCues()
{
    {
        std::lock_guard lock(m_private->mutex);
        m_private->stopping = true;
    }
    m_private->stop.notify_all();
    if (m_private->loader.joinable())
        m_private->loader.join();
}

void LazySoundCues::playCue(Verdict verdict)
{
    switch (m_private->stage) {
    case Private::Stage::Ready:
        m_private->output->playCue(verdict);
        return;
    case Private::Stage::Failed:
        m_private->alert();
        return;
    case Private::Stage::Idle:
    case Private::Stage::Loading:
        m_private->startLoading();
        m_private->pending = Private::PendingCue {verdict, Clock::now()};
        return;
    }
}

void LazySoundCues::prepare()
{
    if (m_private->stage == Private::Stage::Ready)
        m_private->output->prepare();
    else
        m_private->startLoading();
}
