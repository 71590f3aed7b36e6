#pragma once

// What the two systems' readers spend on the hash tables of their own dictionaries, so that a file
// whose keys were chosen to fall together is refused before either reader sees it.
//
// Both readers hash keys with a public function and no seed, so a writer who picks the keys can put
// them all in one bucket and make each insertion walk every key before it. The rules model each
// reader's table as its published source builds it:
// - libplist 2.2, which reads XML on Linux, gives a dictionary of more than 250 entries a table of
//   4,096 chained buckets, the bucket being djb2 over the key's UTF-8 bytes (as signed chars) taken
//   modulo 4,096; each further key walks its bucket. Its binary reader keeps no table. A table
//   costs little when its keys are spread as chance spreads them, so a dictionary whose keys share
//   buckets far beyond that is refused.
// - CoreFoundation, which reads both encodings on macOS, probes linearly over a prime number of
//   buckets, the bucket being CFString's hash modulo that prime. The binary reader sizes each
//   dictionary once for its count and inserts the keys in their order; the XML reader starts each
//   dictionary at 13 buckets and grows it through the same primes, placing every key again at each
//   step. Each probe that meets another key compares lengths and, when they are equal, the texts.
//   CFString's hash bunches some ordinary keys into long runs by itself ("0.0", "1.0", ...), so
//   the work is counted, in nanoseconds as the open-source release spends them, and a file's
//   dictionaries together may spend a budget that grows with the file.
// Apple's closed CoreFoundation is taken to hash and probe as its open-source release does.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace gatewarden {

// CFString's hash (CFHash of a CFString on 64-bit systems) of a text given as its UTF-16 code
// units: every unit of a text of at most 96, else only its first, middle and last 32.
std::uint64_t coreFoundationTextHash(std::u16string_view units);

// libplist's bucket for a dictionary key given as its UTF-8 bytes.
unsigned libplistKeyBucket(std::string_view key);

// A key as CoreFoundation's table meets it: its CFString hash and its length in UTF-16 units.
struct TableKey {
    std::uint64_t hash = 0;
    std::size_t length = 0;
};

// What one file's dictionaries cost CoreFoundation's tables, against a budget that grows with the
// file.
class CoreFoundationTableWork {
public:
    explicit CoreFoundationTableWork(std::size_t fileBytes);

    // A dictionary's keys in the order the reader inserts them: the XML reader's dictionaries grow,
    // the binary reader's are sized once for their count. False once the budget is spent.
    bool addDictionary(const std::vector<TableKey>& keys, bool growing);

private:
    std::uint64_t left_;
};

// Whether an XML dictionary's keys, given by their libplist buckets, stay within a small multiple of
// what keys spread at random would cost libplist's table.
bool libplistKeysSpread(const std::vector<unsigned>& buckets);

}  // namespace gatewarden
