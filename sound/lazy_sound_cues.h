#pragma once

#include "typing_drill.h"

#include <functional>
#include <memory>
#include <string>

// Where the sound module is, and what sounds when it cannot be loaded.
struct LazySoundCuesOptions
{
    // The module file; empty: its installed place, found relative to the executable's folder.
    std::string modulePath;
    // Sounds for each cue when the module cannot be loaded; empty means QApplication::beep().
    std::function<void()> defaultAlert;
};

// The program's sound cues, loaded when first needed. Nothing of the audio system (SDL, the
// sound server's client and its codecs) is mapped before the first prepare() or playCue(): that
// loads the sound module on a worker thread, and the calls go to it once its output has opened.
// Needs a QCoreApplication; one per program, created by main().
class LazySoundCues
{
public:
    LazySoundCues();
    explicit LazySoundCues(LazySoundCuesOptions options);
    // Waits for a load under way (a dlopen), never on the audio system.
    ~LazySoundCues();
    LazySoundCues(const LazySoundCues &) = delete;
    LazySoundCues &operator=(const LazySoundCues &) = delete;

    // Starts the cue; returns at once. A cue asked for while the module loads plays when its
    // output opens, unless that comes too late to answer the key; without the module the
    // default alert sounds instead.
    void playCue(Verdict verdict);
    // Starts loading the module, or asks the loaded one to have its output ready soon.
    void prepare();

private:
    struct Private;
    std::unique_ptr<Private> m_private;
};
