#include "reading/ReaderTables.h"

#include <algorithm>
#include <array>

namespace gatewarden {

namespace {

// CoreFoundation's table sizes (primes) and the most keys each holds, from CFBasicHash.c, as far as
// a file within the size limit can reach.
constexpr std::array<std::uint32_t, 26> coreFoundationBuckets{
    0,    3,    7,    13,   23,    41,    71,    127,   191,   251,    383,    631,    1087,
    1723, 2803, 4523, 7351, 11959, 19447, 31231, 50683, 81919, 132607, 214519, 346607, 561109};
constexpr std::array<std::uint32_t, 26> coreFoundationCapacities{
    0,    3,    6,    11,   19,   32,    52,    85,    118,   155,   237,    390,    672,
    1065, 1732, 2795, 4543, 7391, 12019, 19302, 31324, 50629, 81956, 132580, 214215, 346784};
// The XML reader makes each dictionary with room for 10 keys: 11 in 13 buckets.
constexpr std::size_t coreFoundationFirstGrowingSize = 3;

// CoreFoundation's work, in sixteenths of a nanosecond as its open-source release spends them: a
// probe that meets another key (a call that compares lengths) about 8 ns, each unit compared when
// the lengths are equal an eighth of one, a probe while a growing table places its keys again 1 ns.
constexpr std::uint64_t coreFoundationProbe = 128, coreFoundationUnitCompared = 2, coreFoundationPlacing = 16;
// What a file may spend: 2 ms, four times what a dictionary of 5,000 ordinary keys costs as
// CoreFoundation's hash bunches them, and 4 ns more per byte, a few hundredths of what reading an
// ordinary file costs.
constexpr std::uint64_t coreFoundationBudget(std::size_t fileBytes) {
    return (std::uint64_t{1} << 25) + 64 * std::uint64_t{fileBytes};
}

// libplist keeps no table for a dictionary of up to 500 keys and values.
constexpr std::size_t libplistUntabled = 250, libplistBuckets = 4096;

bool spend(std::uint64_t& left, std::uint64_t work) {
    if (work > left) return false;
    left -= work;
    return true;
}

// Linear probing: each slot holds the index of its key, or -1.
class LinearTable {
public:
    explicit LinearTable(std::size_t sizeIndex) : sizeIndex_(sizeIndex), slots_(coreFoundationBuckets[sizeIndex], -1) {}

    std::size_t capacity() const { return coreFoundationCapacities[sizeIndex_]; }

    // The slot where the key is placed, having spent on every probe that meets another key.
    template <typename Cost>
    std::size_t probe(std::uint64_t hash, Cost&& cost) const {
        std::size_t slot = static_cast<std::size_t>(hash % slots_.size());
        while (slots_[slot] >= 0) {
            if (!cost(static_cast<std::size_t>(slots_[slot]))) return slots_.size();
            slot = slot + 1 == slots_.size() ? 0 : slot + 1;
        }
        return slot;
    }
    void place(std::size_t slot, std::size_t key) { slots_[slot] = static_cast<std::int32_t>(key); }
    const std::vector<std::int32_t>& slots() const { return slots_; }
    std::size_t size() const { return slots_.size(); }
    std::size_t sizeIndex() const { return sizeIndex_; }

private:
    std::size_t sizeIndex_;
    std::vector<std::int32_t> slots_;
};

}  // namespace

std::uint64_t coreFoundationTextHash(std::u16string_view units) {
    // CFString.c: the length, then four units at a time (their sum in 32 bits), then one at a time;
    // a text of more than 96 units by its first, middle and last 32, four at a time.
    std::uint64_t result = units.size();
    auto four = [&](std::size_t at) {
        std::uint32_t sum =
            ((std::uint32_t{units[at]} * 257u + units[at + 1]) * 257u + units[at + 2]) * 257u + units[at + 3];
        result = result * 67503105u + sum;
    };
    if (units.size() <= 96) {
        std::size_t at = 0;
        for (; at + 4 <= units.size(); at += 4) four(at);
        for (; at < units.size(); ++at) result = result * 257u + units[at];
    } else {
        for (std::size_t start : {std::size_t{0}, units.size() / 2 - 16, units.size() - 32})
            for (std::size_t at = start; at < start + 32; at += 4) four(at);
    }
    return result + (result << (units.size() & 31));
}

unsigned libplistKeyBucket(std::string_view key) {
    // djb2 over the key's chars, which are signed on the systems the tool is built for.
    unsigned hash = 5381;
    for (char c : key) hash = hash * 33 + static_cast<unsigned>(static_cast<signed char>(c));
    return hash & 0xFFF;
}

CoreFoundationTableWork::CoreFoundationTableWork(std::size_t fileBytes) : left_(coreFoundationBudget(fileBytes)) {}

bool CoreFoundationTableWork::addDictionary(const std::vector<TableKey>& keys, bool growing) {
    if (keys.empty()) return true;
    // Sized once: the first size that holds them all. One that outgrows the sizes here lies beyond
    // what a file within the size limit holds.
    auto sizeIndex = growing ? coreFoundationFirstGrowingSize
                             : static_cast<std::size_t>(std::lower_bound(coreFoundationCapacities.begin(),
                                                                         coreFoundationCapacities.end(), keys.size()) -
                                                        coreFoundationCapacities.begin());
    if (sizeIndex == coreFoundationCapacities.size()) return false;
    LinearTable table(sizeIndex);
    auto placing = [&](std::size_t) { return spend(left_, coreFoundationPlacing); };
    for (std::size_t k = 0; k < keys.size(); ++k) {
        std::size_t slot = table.probe(keys[k].hash, [&](std::size_t other) {
            return spend(left_,
                         coreFoundationProbe +
                             (keys[other].length == keys[k].length ? coreFoundationUnitCompared * keys[k].length : 0));
        });
        if (slot == table.size()) return false;
        if (k + 1 > table.capacity()) {
            if (table.sizeIndex() + 1 == coreFoundationCapacities.size()) return false;
            // Grown by one size: every key placed again in the order of the old slots, then this one.
            LinearTable grown(table.sizeIndex() + 1);
            for (std::int32_t other : table.slots()) {
                if (other < 0) continue;
                std::size_t at = grown.probe(keys[static_cast<std::size_t>(other)].hash, placing);
                if (at == grown.size()) return false;
                grown.place(at, static_cast<std::size_t>(other));
            }
            table = std::move(grown);
            if ((slot = table.probe(keys[k].hash, placing)) == table.size()) return false;
        }
        table.place(slot, k);
    }
    return true;
}

bool libplistKeysSpread(const std::vector<unsigned>& buckets) {
    // Each pair of keys in one bucket is met as the second is inserted. Keys spread at random make
    // about n(n - 1) / 2 / 4,096 such pairs; libplist's own hash bunches ordinary keys up to about
    // 1.6 times that, and three times that, with eight more for each key, cost a few milliseconds.
    std::uint64_t n = buckets.size();
    if (n <= libplistUntabled) return true;
    std::vector<std::uint32_t> counts(libplistBuckets, 0);
    std::uint64_t pairs = 0;
    for (unsigned bucket : buckets) pairs += counts[bucket % libplistBuckets]++;
    return pairs <= 3 * (n * (n - 1) / 2) / libplistBuckets + 8 * n;
}

}  // namespace gatewarden
