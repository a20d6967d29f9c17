// The desktop's sound output: plays the player's ring through Qt Multimedia
// (PulseAudio on Linux). The sink lives on its own thread with its own event
// loop and pulls the ring through a read-only device, so playback neither
// depends on the caller's event loop nor on the mixing thread.
#pragma once

#include <memory>

#include "music/player/sound_output.h"

namespace kestrane::music::qt {

class QtSoundOutput final : public player::SoundOutput {
public:
    QtSoundOutput();
    ~QtSoundOutput() override;

    // Fails (no device) without a QCoreApplication, without a default audio
    // output, or when the sink does not start. Call from a thread of the
    // application (the player calls it from ModulePlay's thread).
    bool Open(const player::OutputRing& ring) override;
    std::uint64_t Position() override;
    // From the sink's processed time, which excludes what the sink and the
    // sound server still buffer.
    std::optional<std::uint64_t> PlayedPosition() override;
    // May be called from any thread except the sink's own.
    void Close() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kestrane::music::qt
