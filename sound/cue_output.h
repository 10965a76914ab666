#pragma once

#include "typing_drill.h"

// What plays the two cues, as the window sees it. The sound module hands one out through its
// entry point; deleting it through this interface runs the module's own destructor.
class CueOutput
{
public:
    virtual ~CueOutput() = default;
    // Starts the cue for a verdict; returns at once.
    virtual void playCue(Verdict verdict) = 0;
    // Asks for the audio output to be ready soon; returns at once.
    virtual void prepare() = 0;
    // Whether the audio output is open, so that a cue played now is heard.
    virtual bool isOutputOpen() const = 0;
};

// The sound module's one exported function, looked up by this name: makes the program's cues
// with their default options, or gives null.
extern "C" {
using MakeCueOutput = CueOutput *(*)();
}
inline constexpr const char *makeCueOutputSymbol = "typing_drill_make_cue_output";
