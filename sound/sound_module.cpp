// The sound module's entry point. The program loads this file with dlopen when the first cue is
// near, so SDL and the audio libraries behind it are mapped only then.
#include "cue_output.h"
#include "sound_cues.h"

#include <type_traits>

extern "C" __attribute__((visibility("default"))) CueOutput *typing_drill_make_cue_output()
{
    return new SoundCues;
}

static_assert(std::is_same_v<decltype(&typing_drill_make_cue_output), MakeCueOutput>);
