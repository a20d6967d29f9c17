#include "simulated_bus.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include "file_lock.h"
#include "reading_word.h"

namespace kestrane::board {

namespace {
constexpr const char* kPathPrefix = "sim:";

// 64-bit FNV-1a: the same name in every process for one simulation file.
uint64_t NameHash(const std::string& text) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

// The folder of the lock files: $XDG_RUNTIME_DIR/kestrane, or a folder of
// this user's own under /tmp when that is unset. Empty when the folder is
// not this user's alone (then the locks stay inside the process).
std::string LockFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string folder = runtime != nullptr && runtime[0] == '/'
                                   ? std::string(runtime) + "/kestrane"
                                   : "/tmp/kestrane-" + std::to_string(::getuid());
    ::mkdir(folder.c_str(), 0700);
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & 022) != 0)
        return "";
    return folder;
}

// The lock files' common stem for one simulation file, named by its full
// path so every program simulating the same file shares the boards' locks.
std::string LockStem(const std::string& simPath) {
    std::string full = simPath;
    if (char* resolved = ::realpath(simPath.c_str(), nullptr)) {
        full = resolved;
        std::free(resolved);
    }
    const std::string folder = LockFolder();
    if (folder.empty()) return "";
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(NameHash(full)));
    return folder + "/sim-" + hex + "-";
}
}  // namespace

SimClock SteadySimClock() {
    // Time since the steady clock's epoch (boot), not since this process
    // started, so the signals run on across the processes of a demo.
    return [] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    };
}

SimSleep RealSimSleep() {
    return [](std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); };
}

// Shared by the bus and the devices it opened, so a device outliving its
// bus (or a reload) stays safe to use.
struct SimulatedBus::State {
    SimConfig config;
    bool valid = false;
    SimClock clock;
    SimSleep sleep = RealSimSleep();
    std::mt19937 rng{20261208u};
    std::vector<uint64_t> exchanges;  // per device
    std::vector<int> openCount;       // per device: handles open
    std::vector<bool> locked;         // per device: a handle holds the lock
    uint64_t writes = 0;
    uint64_t generation = 0;  // bumped by every reload
    uint64_t generationSeen = 0;
    bool changeTaken = false;
    // Lock files "<stem><device index>.lock" shared with other programs
    // simulating the same file; empty: the locks are this process's own.
    std::string lockStem;

    // File watching.
    std::string path;
    bool haveStamp = false;
    struct stat stamp {};

    void Install(SimConfig c) {
        config = std::move(c);
        valid = true;
        exchanges.assign(config.devices.size(), 0);
        openCount.assign(config.devices.size(), 0);
        locked.assign(config.devices.size(), false);
        writes = 0;
        ++generation;
    }
    bool Vanished(size_t i) const {
        const SimDevice& d = config.devices[i];
        return d.vanishAfter != 0 && exchanges[i] >= d.vanishAfter;
    }
    bool Present(size_t i) const { return config.devices[i].fault != SimFault::kAbsent && !Vanished(i); }
};

namespace {

std::u16string Widen(const std::string& s) {
    std::u16string out;
    out.reserve(s.size());
    for (unsigned char ch : s) out.push_back(static_cast<char16_t>(ch));
    return out;
}

class SimulatedDevice final : public HidDevice {
public:
    SimulatedDevice(std::shared_ptr<SimulatedBus::State> state, size_t index)
        : state_(std::move(state)), index_(index), generation_(state_->generation) {
        if (!state_->lockStem.empty()) {
            const std::string name = state_->lockStem + std::to_string(index_) + ".lock";
            lockFile_ = UniqueFd(::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        }
    }
    ~SimulatedDevice() override {
        if (!Current()) return;
        --state_->openCount[index_];
        if (holds_lock_) state_->locked[index_] = false;
    }

    // The lock of a device that is gone or replaced by a reload is
    // meaningless; granting it lets the exchange find out the handle is dead.
    // Another program's exchange is waited for on the shared lock file;
    // within one process a held lock cannot end during the wait.
    bool Lock(std::chrono::milliseconds wait) override {
        if (!Current()) return true;
        if (holds_lock_) return true;
        if (state_->locked[index_]) return false;
        if (lockFile_.valid() && !LockWithin(lockFile_.get(), wait)) return false;
        state_->locked[index_] = holds_lock_ = true;
        return true;
    }
    void Unlock() override {
        if (lockFile_.valid() && holds_lock_) ::flock(lockFile_.get(), LOCK_UN);
        if (Current() && holds_lock_) state_->locked[index_] = false;
        holds_lock_ = false;
    }

    std::optional<HidIdentity> Identity() override {
        if (!Usable()) return std::nullopt;
        return HidIdentity{Device().vendorId, Device().productId};
    }

    std::optional<std::u16string> ManufacturerString() override {
        if (!Usable()) return std::nullopt;
        return Widen(Device().manufacturer);
    }
    std::optional<std::u16string> ProductString() override {
        if (!Usable()) return std::nullopt;
        return Widen(Device().product);
    }

    int Write(std::span<const uint8_t> report) override {
        if (!Usable()) return -1;
        ++state_->writes;
        pending_ = 0;
        // The firmware reacts to "Vorn" and a command digit in bytes 1-5 of
        // a report whose byte 0 is report ID 0; anything else goes unanswered.
        if (report.size() >= 6 && report[0] == 0 && std::memcmp(report.data() + 1, "Vorn", 4) == 0) {
            const uint8_t digit = report[5];
            if ((digit >= '1' && digit <= '6') || digit == '8') pending_ = digit;
        }
        return static_cast<int>(report.size());
    }

    int Read(std::span<uint8_t> buffer, int timeout_ms) override {
        if (!Usable()) return -1;
        const SimDevice& d = Device();
        // The read of an answer fails; looking for reports already pending
        // (timeout 0) does not.
        if (d.fault == SimFault::kReadFails && timeout_ms > 0) return -1;
        if (pending_ == 0 || d.fault == SimFault::kNoAnswer || d.fault == SimFault::kReadFails) {
            // Nothing comes: the read waits out its timeout, as on a real bus.
            if (timeout_ms > 0) state_->sleep(std::chrono::milliseconds(timeout_ms));
            return 0;
        }
        const uint8_t command = pending_;
        pending_ = 0;
        if (d.answerDelayMs > 0 && timeout_ms > 0) state_->sleep(std::chrono::milliseconds(d.answerDelayMs));

        std::array<uint8_t, 128> answer{};
        const size_t length =
            std::min<size_t>({static_cast<size_t>(d.answerLength), answer.size(), buffer.size()});
        answer[1] = command;
        if (d.fault == SimFault::kGarbage) {
            for (auto& b : answer) b = static_cast<uint8_t>(state_->rng());
        } else if (command == '8') {
            const size_t n = std::min(d.firmware.size(), answer.size() - 2);
            std::memcpy(answer.data() + 2, d.firmware.data(), n);
        } else {
            const Signal& signal = d.channels[static_cast<size_t>(command - '1')];
            const uint32_t word = signal.rawWord
                                      ? *signal.rawWord
                                      : VoltsToWord(EvaluateSignal(signal, state_->clock(), state_->rng));
            for (int i = 0; i < 4; ++i)
                answer[2 + static_cast<size_t>(i)] = static_cast<uint8_t>(word >> (8 * i));
        }
        std::copy_n(answer.begin(), length, buffer.begin());
        ++state_->exchanges[index_];
        return static_cast<int>(length);
    }

private:
    bool Current() const { return state_->generation == generation_; }
    bool Usable() const { return Current() && state_->valid && state_->Present(index_); }
    const SimDevice& Device() const { return state_->config.devices[index_]; }

    std::shared_ptr<SimulatedBus::State> state_;
    size_t index_;
    uint64_t generation_;
    uint8_t pending_ = 0;
    bool holds_lock_ = false;
    UniqueFd lockFile_;
};

}  // namespace

SimulatedBus::SimulatedBus(SimConfig config, SimClock clock, SimSleep sleep)
    : state_(std::make_shared<State>()) {
    state_->clock = std::move(clock);
    state_->sleep = std::move(sleep);
    state_->Install(std::move(config));
}

SimulatedBus::SimulatedBus(std::string path, SimClock clock, WatchTag) : state_(std::make_shared<State>()) {
    state_->clock = std::move(clock);
    state_->path = std::move(path);
    state_->lockStem = LockStem(state_->path);
}

SimulatedBus::~SimulatedBus() = default;

std::unique_ptr<SimulatedBus> SimulatedBus::FromFile(std::string path, SimClock clock) {
    auto bus = std::make_unique<SimulatedBus>(std::move(path), std::move(clock), WatchTag{});
    bus->ReloadIfChanged();
    return bus;
}

void SimulatedBus::ReloadIfChanged() {
    State& s = *state_;
    if (s.path.empty()) return;
    struct stat now {};
    const bool exists = ::stat(s.path.c_str(), &now) == 0;
    if (s.haveStamp && exists && now.st_ino == s.stamp.st_ino && now.st_size == s.stamp.st_size &&
        now.st_mtim.tv_sec == s.stamp.st_mtim.tv_sec && now.st_mtim.tv_nsec == s.stamp.st_mtim.tv_nsec)
        return;
    if (!exists) {
        if (s.haveStamp || s.generation == 0) {
            std::fprintf(stderr, "kestrane simulation: cannot read %s\n", s.path.c_str());
        }
        s.haveStamp = false;
        s.valid = false;
        ++s.generation;
        return;
    }
    s.haveStamp = true;
    s.stamp = now;
    std::string text;
    bool read_ok = false;
    if (now.st_size >= 0 && static_cast<uint64_t>(now.st_size) <= kMaxSimFileBytes) {
        std::ifstream in(s.path, std::ios::binary);
        if (in) {
            text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            read_ok = !in.bad();
        }
    }
    SimParseResult parsed = read_ok
                                ? ParseSimulation(text)
                                : SimParseResult{std::nullopt, "cannot read the file or larger than 1 MiB"};
    if (!parsed.config) {
        std::fprintf(stderr, "kestrane simulation: %s: %s\n", s.path.c_str(), parsed.error.c_str());
        s.valid = false;
        ++s.generation;
        return;
    }
    s.Install(std::move(*parsed.config));
}

bool SimulatedBus::TakeBusChange() {
    ReloadIfChanged();
    State& s = *state_;
    const bool changed = !s.changeTaken || s.generation != s.generationSeen;
    s.changeTaken = true;
    s.generationSeen = s.generation;
    return changed;
}

std::optional<std::vector<HidDeviceInfo>> SimulatedBus::Enumerate() {
    ReloadIfChanged();
    const State& s = *state_;
    if (!s.valid) return std::nullopt;
    std::vector<HidDeviceInfo> out;
    for (size_t i = 0; i < s.config.devices.size(); ++i) {
        if (!s.Present(i)) continue;
        const SimDevice& d = s.config.devices[i];
        out.push_back({kPathPrefix + std::to_string(i), d.vendorId, d.productId, d.version});
    }
    return out;
}

std::unique_ptr<HidDevice> SimulatedBus::Open(const std::string& path) {
    ReloadIfChanged();
    State& s = *state_;
    if (!s.valid || path.rfind(kPathPrefix, 0) != 0) return nullptr;
    size_t index = 0;
    const char* first = path.data() + std::strlen(kPathPrefix);
    auto [ptr, ec] = std::from_chars(first, path.data() + path.size(), index);
    if (ec != std::errc() || ptr != path.data() + path.size() || index >= s.config.devices.size())
        return nullptr;
    // A busy device stands for one this program may not open.
    if (!s.Present(index) || s.config.devices[index].fault == SimFault::kBusy) return nullptr;
    // Only the first open of a closed device costs the kernel's delay.
    if (s.openCount[index]++ == 0) {
        if (const uint32_t delay = s.config.devices[index].openDelayMs; delay > 0)
            s.sleep(std::chrono::milliseconds(delay));
    }
    return std::make_unique<SimulatedDevice>(state_, index);
}

uint64_t SimulatedBus::WritesSent() const { return state_->writes; }
int SimulatedBus::OpenHandles() const {
    int n = 0;
    for (int count : state_->openCount) n += count;
    return n;
}

}  // namespace kestrane::board
