#include "music/player/module_player.h"

#include <array>
#include <exception>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "music/engine/xm_renderer.h"
#include "music/engine/xm_song.h"
#include "music/player/basic_outputs.h"
#include "music/player/thread_priority.h"

namespace kestrane::music::player {
namespace {

static_assert(kBlockSamples == engine::kXmBlockSamples && kSampleRate == engine::kXmSampleRate,
              "the ring and the renderer must agree on the block format");

class XmBlockSource final : public BlockSource {
public:
    XmBlockSource(std::shared_ptr<const engine::XmSong> song, bool loop) : renderer_(std::move(song), loop) {}
    bool RenderBlock(std::span<std::int16_t, kBlockSamples> out, std::int32_t master) override {
        renderer_.SetMasterVolume(master);
        return renderer_.RenderBlock(out);
    }

private:
    engine::XmRenderer renderer_;
};

}  // namespace

ModulePlayer::ModulePlayer(std::unique_ptr<SoundOutput> output)
    : output_(output ? std::move(output) : std::make_unique<NoSoundOutput>()) {}

ModulePlayer::~ModulePlayer() { Stop(); }

void ModulePlayer::SetOutput(std::unique_ptr<SoundOutput> output) {
    Stop();
    output_ = output ? std::move(output) : std::make_unique<NoSoundOutput>();
}

void ModulePlayer::SetResourceLoader(ResourceLoader loader) { resourceLoader_ = std::move(loader); }

int ModulePlayer::Play(const void* source, std::uintptr_t parameter, unsigned flags) {
    Stop();
    if (source == nullptr) return 0;
    try {
        std::optional<std::vector<std::uint8_t>> owned;
        std::span<const std::uint8_t> bytes;
        if (flags & kModuleMemory) {
            bytes = {static_cast<const std::uint8_t*>(source), static_cast<std::size_t>(parameter)};
        } else if (flags & kModuleFile) {
            owned = ReadModuleFile(static_cast<const char*>(source));
        } else if (resourceLoader_) {
            owned = resourceLoader_(static_cast<const char*>(source));
        }
        if (!(flags & kModuleMemory)) {
            if (!owned) return 0;
            bytes = *owned;
        }

        engine::XmLoadResult loaded = engine::LoadXm(bytes);
        if (!loaded.ok()) return 0;
        // The song no longer needs the source once loaded.
        auto song = std::make_shared<const engine::XmSong>(std::move(loaded.song));
        owned.reset();
        return PlaySource(std::make_unique<XmBlockSource>(std::move(song), (flags & kModuleNoLoop) == 0),
                          flags);
    } catch (const std::exception&) {
        // Out of memory while loading.
        return 0;
    }
}

int ModulePlayer::PlaySource(std::unique_ptr<BlockSource> source, unsigned flags) {
    Stop();
    if (!source) return 0;
    try {
        source_ = std::move(source);
        paused_ = (flags & kModulePaused) != 0;
        nextBlock_ = 0;
        blocksWritten_ = 0;
        songEnded_ = false;
        endPosition_ = 0;
        // The whole ring is filled before the device or the thread exists, so
        // the song is never shared while it is being built.
        for (std::size_t i = 0; i < kRingBlocks; ++i) FillBlock();

        stopRequest_ = false;
        if (!output_->Open(ring_)) {
            Release();
            return 0;
        }
        deviceOpen_ = true;
        playing_ = true;
        thread_ = std::thread(&ModulePlayer::ThreadMain, this);
        return 1;
    } catch (const std::exception&) {
        // No thread could be created.
        Release();
        return 0;
    }
}

void ModulePlayer::Stop() {
    if (thread_.joinable()) {
        stopRequest_ = true;
        thread_.join();
    }
    Release();
}

void ModulePlayer::Release() {
    if (deviceOpen_) {
        output_->Close();
        deviceOpen_ = false;
    }
    source_.reset();
    playing_ = false;
}

void ModulePlayer::FillBlock() {
    std::array<std::int16_t, kBlockSamples> block{};
    if (!songEnded_ && !paused_ && source_) {
        if (!source_->RenderBlock(block, masterVolume_)) {
            songEnded_ = true;
            // This block still carries the song's last frames.
            endPosition_ = (blocksWritten_ + 1) * kBlockBytes;
        }
    }
    ring_.WriteBlock(nextBlock_, block);
    nextBlock_ = (nextBlock_ + 1) % kRingBlocks;
    ++blocksWritten_;
}

void ModulePlayer::ThreadMain() {
    // The thread must refill each 21 ms block before the device reaches it,
    // even on a busy desktop; it sleeps between blocks, so a raised priority
    // costs others nothing. Refused without privilege: play on as we are.
    RaiseCurrentThreadForAudio();
    for (;;) {
        const std::uint64_t position = output_->Position();
        // The device takes blocks well before they are heard; releasing it when
        // the last block is taken would cut off what it still holds. A device
        // that never reports its played position is released once it has taken
        // kDrainLimitBytes of silence after the end.
        if (songEnded_ && position >= endPosition_ &&
            (output_->PlayedPosition().value_or(position) >= endPosition_ ||
             position >= endPosition_ + kDrainLimitBytes)) {
            // A song without loop has been heard to its end: release the device
            // and the song here; a later Stop only joins this thread.
            Release();
            return;
        }
        const std::size_t playingBlock = (position / kBlockBytes) % kRingBlocks;
        for (;;) {
            std::this_thread::sleep_for(pollInterval_);
            if (stopRequest_) return;
            if (nextBlock_ == playingBlock) break;
            FillBlock();
        }
    }
}

ModulePlayer& GlobalModulePlayer() {
    static ModulePlayer player;
    return player;
}

namespace {
std::atomic<bool> g_outputInstalled{false};
}

void SetModuleOutput(std::unique_ptr<SoundOutput> output) {
    GlobalModulePlayer().SetOutput(std::move(output));
    g_outputInstalled = true;
}

bool ModuleOutputInstalled() { return g_outputInstalled; }

void SetModuleResourceLoader(ResourceLoader loader) {
    GlobalModulePlayer().SetResourceLoader(std::move(loader));
}

int ModulePlay(const void* source, std::uintptr_t parameter, unsigned flags) {
    return GlobalModulePlayer().Play(source, parameter, flags);
}
void ModuleStop() { GlobalModulePlayer().Stop(); }

}  // namespace kestrane::music::player
