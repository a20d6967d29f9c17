// The trend store. Within a chunk, reading i belongs to small block i / 16
// and large block i / 256; a block's minimum, maximum and sum are kept up to
// date as readings arrive, so a range is read as a few raw readings at its
// ends plus whole blocks in between.
#include "live/trend_store.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kestrane::live {
namespace {

constexpr uint32_t kChunkSize = 4096;
constexpr uint32_t kSmallShift = 4;  // 16 readings
constexpr uint32_t kLargeShift = 8;  // 256 readings
constexpr uint32_t kSmallSize = 1U << kSmallShift;
constexpr uint32_t kLargeSize = 1U << kLargeShift;
constexpr std::size_t kMaxGaps = 65536;
constexpr uint8_t kAmperesBit = 0x80;

struct Aggregate {
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();
    double sum = 0.0;

    void Add(double v) {
        min = std::min(min, v);
        max = std::max(max, v);
        sum += v;
    }
    void Add(const Aggregate& o) {
        min = std::min(min, o.min);
        max = std::max(max, o.max);
        sum += o.sum;
    }
};

}  // namespace

struct TrendStore::Chunk {
    uint64_t first = 0;  // index of the chunk's first reading
    int64_t baseMs = 0;  // time of the chunk's first reading
    uint32_t size = 0;
    std::array<uint32_t, kChunkSize> offsetMs{};
    std::array<double, kChunkSize> values{};
    std::array<uint8_t, kChunkSize> meta{};  // amperes bit, decimals
    std::array<Aggregate, kChunkSize / kSmallSize> small{};
    // Time offset of each small block's first reading: a time is found
    // among these few, then within one block's sixteen offsets.
    std::array<uint32_t, kChunkSize / kSmallSize> blockStartMs{};
    std::array<Aggregate, kChunkSize / kLargeSize> large{};

    int64_t TimeAt(uint32_t i) const { return baseMs + offsetMs[i]; }
    int64_t lastMs() const { return TimeAt(size - 1); }

    void Append(int64_t unixMs, double value, uint8_t m) {
        const uint32_t i = size++;
        offsetMs[i] = static_cast<uint32_t>(unixMs - baseMs);
        values[i] = value;
        meta[i] = m;
        Aggregate& s = small[i >> kSmallShift];
        if ((i & (kSmallSize - 1)) == 0) {
            s = Aggregate{};
            blockStartMs[i >> kSmallShift] = offsetMs[i];
        }
        s.Add(value);
        Aggregate& l = large[i >> kLargeShift];
        if ((i & (kLargeSize - 1)) == 0) l = Aggregate{};
        l.Add(value);
    }

    // Readings la..lb-1 of this chunk, la < lb <= size.
    void Sum(uint32_t la, uint32_t lb, Aggregate& acc) const {
        auto raw = [&](uint32_t i, uint32_t j) {
            for (; i < j; ++i) acc.Add(values[i]);
        };
        if (lb - la < 2 * kSmallSize) return raw(la, lb);
        const uint32_t a16 = (la + kSmallSize - 1) & ~(kSmallSize - 1);
        const uint32_t b16 = lb & ~(kSmallSize - 1);
        raw(la, a16);
        raw(b16, lb);
        auto smalls = [&](uint32_t i, uint32_t j) {
            for (i >>= kSmallShift, j >>= kSmallShift; i < j; ++i) acc.Add(small[i]);
        };
        const uint32_t a256 = (a16 + kLargeSize - 1) & ~(kLargeSize - 1);
        const uint32_t b256 = b16 & ~(kLargeSize - 1);
        if (a256 > b256) return smalls(a16, b16);
        smalls(a16, a256);
        smalls(b256, b16);
        for (uint32_t i = a256 >> kLargeShift; i < (b256 >> kLargeShift); ++i) acc.Add(large[i]);
    }
};

struct TrendStore::Channel {
    std::deque<std::unique_ptr<Chunk>> chunks;
    uint64_t endIndex = 0;  // index the next reading gets
    int64_t lastMs = 0;
    bool hasLast = false;
    std::deque<uint64_t> gapMarks;  // index of the first reading after each gap

    uint64_t firstIndex() const { return chunks.empty() ? endIndex : chunks.front()->first; }

    // The chunk holding `index`, which must be stored.
    const Chunk& Locate(uint64_t index, std::size_t* at = nullptr) const {
        const auto it = std::partition_point(chunks.begin(), chunks.end(),
                                             [&](const auto& k) { return k->first + k->size <= index; });
        if (at) *at = static_cast<std::size_t>(it - chunks.begin());
        return **it;
    }

    bool MarkIn(uint64_t lo, uint64_t hi) const {
        if (lo > hi) return false;
        const auto it = std::lower_bound(gapMarks.begin(), gapMarks.end(), lo);
        return it != gapMarks.end() && *it <= hi;
    }

    void DropFront() {
        chunks.pop_front();
        const uint64_t first = firstIndex();
        while (!gapMarks.empty() && gapMarks.front() < first) gapMarks.pop_front();
    }
};

TrendStore::TrendStore() {
    for (auto& c : channels_) c = std::make_unique<Channel>();
}

TrendStore::~TrendStore() = default;

bool TrendStore::Add(int channel, int64_t unixMs, double value, Unit unit, uint8_t decimals) {
    if (channel < 1 || channel > kLiveChannels || !std::isfinite(value)) return false;
    Channel& c = *channels_[static_cast<std::size_t>(channel - 1)];
    if (c.hasLast && unixMs < c.lastMs) unixMs = c.lastMs;
    newestMs_ = empty() ? unixMs : std::max(newestMs_, unixMs);
    Expire(newestMs_);

    if (c.chunks.empty() || c.chunks.back()->size == kChunkSize ||
        unixMs - c.chunks.back()->baseMs > static_cast<int64_t>(std::numeric_limits<uint32_t>::max())) {
        auto k = std::make_unique<Chunk>();
        k->first = c.endIndex;
        k->baseMs = unixMs;
        c.chunks.push_back(std::move(k));
    }
    const auto m = static_cast<uint8_t>((unit == Unit::Amperes ? kAmperesBit : 0) |
                                        std::min<uint8_t>(decimals, kShortestDecimals));
    c.chunks.back()->Append(unixMs, value, m);
    ++c.endIndex;
    c.lastMs = unixMs;
    c.hasLast = true;
    ++stored_;
    while (stored_ > kMaxStoredReadings) DropOldest();
    return true;
}

void TrendStore::Gap(int64_t unixMs) {
    for (auto& c : channels_) {
        if (!c->hasLast) continue;
        if (c->gapMarks.empty() || c->gapMarks.back() != c->endIndex) c->gapMarks.push_back(c->endIndex);
        if (c->gapMarks.size() > kMaxGaps) {
            c->gapMarks.pop_front();
            ++revision_;
        }
    }
    const int64_t t = std::max(unixMs, newestMs_);
    if (gapTimes_.empty() || gapTimes_.back() < t) gapTimes_.push_back(t);
    if (gapTimes_.size() > kMaxGaps) gapTimes_.pop_front();
}

void TrendStore::Clear() {
    for (auto& c : channels_) c = std::make_unique<Channel>();
    gapTimes_.clear();
    stored_ = 0;
    newestMs_ = 0;
    ++revision_;
}

bool TrendStore::empty() const { return stored_ == 0; }

void TrendStore::Expire(int64_t newestMs) {
    const int64_t limit = newestMs - kRetentionMs;
    for (auto& c : channels_) {
        while (!c->chunks.empty() && c->chunks.front()->lastMs() < limit) {
            stored_ -= c->chunks.front()->size;
            c->DropFront();
        }
    }
    while (!gapTimes_.empty() && gapTimes_.front() < limit) gapTimes_.pop_front();
}

void TrendStore::DropOldest() {
    Channel* oldest = nullptr;
    for (auto& c : channels_) {
        if (c->chunks.empty()) continue;
        if (!oldest || c->chunks.front()->baseMs < oldest->chunks.front()->baseMs) oldest = c.get();
    }
    if (!oldest) return;
    stored_ -= oldest->chunks.front()->size;
    oldest->DropFront();
}

namespace {

// Rounds towards minus infinity; b > 0.
int64_t FloorDiv(int64_t a, int64_t b) { return a / b - static_cast<int64_t>(a % b != 0 && a < 0); }

}  // namespace

// The products stay far inside 64 bits for any time of this millennium at
// any screen width.
int64_t ColumnGrid::Start(int64_t k) const {
    return FloorDiv(k * spanMs, static_cast<int64_t>(std::max<std::size_t>(width, 1)));
}

// Start(k) <= t exactly when k * spanMs < (t + 1) * width.
int64_t ColumnGrid::ColumnOf(int64_t t) const {
    return FloorDiv((t + 1) * static_cast<int64_t>(std::max<std::size_t>(width, 1)) - 1,
                    std::max<int64_t>(spanMs, 1));
}

int64_t TrendStore::ColumnStart(int64_t fromMs, int64_t toMs, std::size_t width, std::size_t p) {
    if (width == 0) return fromMs;
    // The span times the column stays far inside 64 bits for any span of days.
    return fromMs + (toMs - fromMs) * static_cast<int64_t>(p) / static_cast<int64_t>(width);
}

uint64_t TrendStore::LowerBound(int channel, int64_t unixMs) const {
    if (channel < 1 || channel > kLiveChannels) return 0;
    const Channel& c = *channels_[static_cast<std::size_t>(channel - 1)];
    const auto it = std::partition_point(c.chunks.begin(), c.chunks.end(),
                                         [&](const auto& k) { return k->lastMs() < unixMs; });
    if (it == c.chunks.end()) return c.endIndex;
    const Chunk& k = **it;
    if (unixMs <= k.baseMs) return k.first;
    const auto offset = static_cast<uint32_t>(unixMs - k.baseMs);  // <= lastMs - baseMs
    const auto end = k.offsetMs.begin() + k.size;
    return k.first +
           static_cast<uint64_t>(std::lower_bound(k.offsetMs.begin(), end, offset) - k.offsetMs.begin());
}

namespace {

// Sums up the columns of `out` for channel `c`; edgeMs(p) is the start of
// column p (p = 0 .. out.size(), never decreasing).
template <typename EdgeMs>
void Summarise(const TrendStore::Channel& c, EdgeMs edgeMs, std::span<Column> out, bool afterReadings) {
    const std::size_t width = out.size();
    // The column edges only move forward: one cursor walks the chunks and
    // gallops through each chunk's times from where the last edge was, so
    // an edge costs a few steps in memory that is already at hand.
    std::size_t at = 0;
    uint64_t cursor = 0;
    auto edge = [&](int64_t t) -> uint64_t {
        while (at < c.chunks.size() && c.chunks[at]->lastMs() < t) ++at;
        if (at == c.chunks.size()) return cursor = c.endIndex;
        const TrendStore::Chunk& k = *c.chunks[at];
        uint32_t lo = cursor > k.first ? static_cast<uint32_t>(cursor - k.first) : 0;
        if (t <= k.TimeAt(lo)) return cursor = k.first + lo;
        // Here the time at lo is before t and the chunk's last is not.
        // Gallop over the block starts from lo's block to the first block
        // that starts at or after t; the edge lies in the block before it.
        const auto offset = static_cast<uint32_t>(t - k.baseMs);
        const uint32_t blocks = (k.size + kSmallSize - 1) >> kSmallShift;
        uint32_t b = lo >> kSmallShift;  // its start is before t
        uint32_t step = 1;
        uint32_t q = b + 1;
        while (q < blocks && k.blockStartMs[q] < offset) {
            b = q;
            step *= 2;
            q = std::min(blocks, b + step);
        }
        q = static_cast<uint32_t>(
            std::lower_bound(k.blockStartMs.begin() + b + 1, k.blockStartMs.begin() + q, offset) -
            k.blockStartMs.begin());
        // Block q - 1 starts before t; block q (if any) at or after it.
        const uint32_t from = std::max(lo + 1, (q - 1) << kSmallShift);
        const uint32_t to = std::min(k.size, q << kSmallShift);
        const auto it = std::lower_bound(k.offsetMs.begin() + from, k.offsetMs.begin() + to, offset);
        return cursor = k.first + static_cast<uint64_t>(it - k.offsetMs.begin());
    };

    uint64_t a = edge(edgeMs(0));
    bool hasPrevious = afterReadings;
    uint64_t afterPrevious = a;  // the index after the last summed reading
    std::size_t sumAt = 0;
    for (std::size_t p = 0; p < width; ++p) {
        const uint64_t b = edge(edgeMs(p + 1));
        // Ask for the next column's memory while this one is summed: its
        // end most likely lies as far on as this column is wide.
        if (b > a && at < c.chunks.size()) {
            const TrendStore::Chunk& k = *c.chunks[at];
            const uint64_t guess = b + (b - a);
            if (b >= k.first && guess < k.first + k.size) {
                const auto from = static_cast<uint32_t>(b - k.first);
                const auto to = static_cast<uint32_t>(guess - k.first);
                __builtin_prefetch(&k.offsetMs[to]);
                __builtin_prefetch(&k.blockStartMs[to >> kSmallShift]);
                __builtin_prefetch(&k.values[to & ~(kSmallSize - 1)]);
                __builtin_prefetch(&k.values[(to & ~(kSmallSize - 1)) + kSmallSize / 2]);
                for (uint32_t i = from >> kSmallShift; i <= (to >> kSmallShift); i += 2)
                    __builtin_prefetch(&k.small[i]);
            }
        }
        if (b > a) {
            Aggregate acc;
            while (c.chunks[sumAt]->first + c.chunks[sumAt]->size <= a) ++sumAt;
            for (uint64_t i = a; i < b;) {
                const TrendStore::Chunk& k = *c.chunks[sumAt];
                const uint64_t end = std::min<uint64_t>(b, k.first + k.size);
                k.Sum(static_cast<uint32_t>(i - k.first), static_cast<uint32_t>(end - k.first), acc);
                i = end;
                if (i < b) ++sumAt;
            }
            Column& col = out[p];
            col.count = static_cast<uint32_t>(b - a);
            col.min = acc.min;
            col.max = acc.max;
            col.mean = acc.sum / static_cast<double>(b - a);
            col.breakBefore = hasPrevious && c.MarkIn(afterPrevious, a);
            col.gapInside = c.MarkIn(a + 1, b - 1);
            hasPrevious = true;
            afterPrevious = b;
        }
        a = b;
    }
}

}  // namespace

void TrendStore::Query(int channel, int64_t fromMs, int64_t toMs, std::span<Column> out) const {
    std::fill(out.begin(), out.end(), Column{});
    if (channel < 1 || channel > kLiveChannels || toMs <= fromMs || out.empty()) return;
    const std::size_t width = out.size();
    Summarise(
        *channels_[static_cast<std::size_t>(channel - 1)],
        [&](std::size_t p) { return ColumnStart(fromMs, toMs, width, p); }, out, false);
}

void TrendStore::Query(int channel, const ColumnGrid& grid, int64_t firstColumn, std::span<Column> out,
                       bool afterReadings, int64_t untilMs) const {
    std::fill(out.begin(), out.end(), Column{});
    if (channel < 1 || channel > kLiveChannels || out.empty()) return;
    Summarise(
        *channels_[static_cast<std::size_t>(channel - 1)],
        [&](std::size_t p) { return std::min(grid.Start(firstColumn + static_cast<int64_t>(p)), untilMs); },
        out, afterReadings);
}

uint64_t TrendStore::firstIndex(int channel) const {
    if (channel < 1 || channel > kLiveChannels) return 0;
    return channels_[static_cast<std::size_t>(channel - 1)]->firstIndex();
}

uint64_t TrendStore::endIndex(int channel) const {
    if (channel < 1 || channel > kLiveChannels) return 0;
    return channels_[static_cast<std::size_t>(channel - 1)]->endIndex;
}

StoredReading TrendStore::At(int channel, uint64_t index) const {
    if (index < firstIndex(channel) || index >= endIndex(channel)) return {};
    const Chunk& k = channels_[static_cast<std::size_t>(channel - 1)]->Locate(index);
    const auto i = static_cast<uint32_t>(index - k.first);
    StoredReading r;
    r.unixMs = k.TimeAt(i);
    r.value = k.values[i];
    r.unit = (k.meta[i] & kAmperesBit) ? Unit::Amperes : Unit::Volts;
    r.decimals = static_cast<uint8_t>(k.meta[i] & ~kAmperesBit);
    return r;
}

bool TrendStore::GapBefore(int channel, uint64_t index) const {
    if (channel < 1 || channel > kLiveChannels) return false;
    return channels_[static_cast<std::size_t>(channel - 1)]->MarkIn(index, index);
}

std::vector<int64_t> TrendStore::GapsIn(int64_t fromMs, int64_t toMs) const {
    std::vector<int64_t> out;
    for (auto it = std::lower_bound(gapTimes_.begin(), gapTimes_.end(), fromMs);
         it != gapTimes_.end() && *it < toMs; ++it)
        out.push_back(*it);
    return out;
}

std::size_t TrendStore::MemoryBytes() const {
    std::size_t bytes = sizeof(*this) + gapTimes_.size() * sizeof(int64_t);
    for (const auto& c : channels_) {
        bytes += sizeof(Channel) + c->chunks.size() * (sizeof(Chunk) + sizeof(void*));
        bytes += c->gapMarks.size() * sizeof(uint64_t);
    }
    return bytes;
}

}  // namespace kestrane::live
