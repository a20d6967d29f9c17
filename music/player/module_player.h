// Plays one XM song at a time through a SoundOutput: loads it from memory, a
// file or a resource, fills the 16-block output ring and keeps it filled
// from a mixing thread until stopped, paused or (without looping) ended.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>

#include "music/engine/xm_math.h"
#include "music/player/module_source.h"
#include "music/player/sound_output.h"

namespace kestrane::music::player {

// What the mixing thread plays: the next block of a song. The XM renderer
// is the real one; tests drive the thread with simple generators.
class BlockSource {
public:
    virtual ~BlockSource() = default;
    // Fills one block (kBlockSamples interleaved samples) at the given master
    // volume. Returns false once the song has ended: that block holds the
    // song's last frames, then silence.
    virtual bool RenderBlock(std::span<std::int16_t, kBlockSamples> out, std::int32_t master) = 0;
};

// Flags of ModulePlay. Without kModuleMemory and kModuleFile the source is
// a resource name.
enum ModuleFlag : unsigned {
    kModuleMemory = 1,   // source: the song's address; parameter: its length
    kModuleFile = 2,     // source: a zero-terminated path
    kModuleNoLoop = 8,   // end at the end of the order list
    kModulePaused = 16,  // start paused
};

// Play, Stop and SetOutput belong to one controlling thread (the GUI
// thread); Pause, Resume and the queries may come from any thread.
class ModulePlayer {
public:
    // Without an output the player has no device and every Play fails.
    explicit ModulePlayer(std::unique_ptr<SoundOutput> output = nullptr);
    ~ModulePlayer();
    ModulePlayer(const ModulePlayer&) = delete;
    ModulePlayer& operator=(const ModulePlayer&) = delete;

    // Stops, then plays the song. Returns non-zero when playback runs, 0 when
    // the source is null (a plain stop), cannot be read, the song does not
    // load, the device does not open or the thread cannot start; a failed
    // start leaves nothing behind.
    int Play(const void* source, std::uintptr_t parameter, unsigned flags);
    // Plays an already prepared source; only kModuleNoLoop's meaning (the
    // source ends by itself) and kModulePaused apply.
    int PlaySource(std::unique_ptr<BlockSource> source, unsigned flags);
    // Ends the mixing thread, then closes the device and frees the song.
    // Safe when nothing plays.
    void Stop();
    // While paused the thread keeps writing silent blocks and the song
    // position stands still.
    void Pause() { paused_ = true; }
    void Resume() { paused_ = false; }

    // True from a successful Play until Stop, or until a song without loop
    // has been played out to its end and released.
    bool IsPlaying() const { return playing_; }
    bool IsPaused() const { return paused_; }
    // 32,768 is unity; applied from the next block on.
    void SetMasterVolume(std::int32_t volume) { masterVolume_ = volume; }
    std::int32_t MasterVolume() const { return masterVolume_; }

    // Replaces the output (stopping first). Null means no device.
    void SetOutput(std::unique_ptr<SoundOutput> output);
    SoundOutput* output() const { return output_.get(); }
    void SetResourceLoader(ResourceLoader loader);
    // How long the mixing thread sleeps between looks at the device.
    void SetPollInterval(std::chrono::microseconds interval) { pollInterval_ = interval; }

private:
    void FillBlock();
    void ThreadMain();
    void Release();

    std::unique_ptr<SoundOutput> output_;
    ResourceLoader resourceLoader_;
    std::chrono::microseconds pollInterval_{5000};
    OutputRing ring_;

    // Owned by the caller's thread until the mixing thread starts, then by
    // the mixing thread until it is joined.
    std::unique_ptr<BlockSource> source_;
    std::size_t nextBlock_ = 0;        // ring index of the next block to fill
    std::uint64_t blocksWritten_ = 0;  // blocks filled since Play
    bool songEnded_ = false;
    std::uint64_t endPosition_ = 0;  // device position where the song's audio ends
    bool deviceOpen_ = false;
    std::thread thread_;

    // Shared between the threads.
    std::atomic<bool> stopRequest_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> playing_{false};
    std::atomic<std::int32_t> masterVolume_{engine::kXmUnityMasterVolume};
};

// The process-wide player the program uses (the About box); one song at a
// time, no device until an output is installed.
ModulePlayer& GlobalModulePlayer();
// Installs the global player's device (stopping it first); null: no device.
void SetModuleOutput(std::unique_ptr<SoundOutput> output);
// True once SetModuleOutput has been called.
bool ModuleOutputInstalled();
void SetModuleResourceLoader(ResourceLoader loader);

int ModulePlay(const void* source, std::uintptr_t parameter, unsigned flags);
void ModuleStop();

}  // namespace kestrane::music::player
