#pragma once

// ALSA and JACK print their complaints on stderr: a user without a JACK server
// gets a screenful of "Cannot connect to server" at every start, and ALSA
// lists every PCM its configuration names but the machine lacks. Once
// installed, their messages go to a bounded buffer instead, which the sound
// device hands to the program log.

#include <string>
#include <vector>

namespace iax2 {

class AudioLibraryLog
{
public:
    // Routes both libraries' messages here. Idempotent; call before PortAudio
    // initialises. Linking this keeps libjack from starting a server of its
    // own: the environment says so before main() runs.
    static void install();
    // The messages collected since the last call, repeats folded.
    static std::vector<std::string> take();
};

} // namespace iax2
