// SuffixArray: the sorted suffixes of a token-id sequence (SA-IS) and their common prefix lengths (Kasai).
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

// The longest text the suffix sorting takes: it keeps a flag beside each
// position in the same 32 bits.
inline constexpr std::uint32_t maxSuffixArrayLength = (std::uint32_t{1} << 31) - 1;

// The start positions of all suffixes of text[0, length), in ascending
// lexicographic order of the suffixes; a suffix that is a prefix of another
// comes first. Every text[i] must be below alphabetSize. Linear time; the
// scratch is one byte per symbol and about 1.5 words per symbol plus 2 per
// alphabet entry, of which only what the recursion uses gets touched.
// Throws std::length_error if length is above maxSuffixArrayLength.
std::vector<std::uint32_t> buildSuffixArray(const std::uint32_t *text, std::uint32_t length,
                                            std::uint32_t alphabetSize);

// lcp[i] = the length of the longest common prefix of the suffixes at
// suffixArray[i - 1] and suffixArray[i]; lcp[0] = 0. Linear time.
std::vector<std::uint32_t> buildLcpArray(const std::uint32_t *text, std::uint32_t length,
                                         const std::vector<std::uint32_t> &suffixArray);

// Both arrays at once, into suffixArray and lcpArray (resized to length):
// the LCP pass reuses the suffix sorting's scratch. When `stop` is set (from
// any thread), Progress::Stopped is thrown soon: every pass reads it at
// least once per million entries.
void buildSuffixAndLcpArrays(const std::uint32_t *text, std::uint32_t length, std::uint32_t alphabetSize,
                             std::vector<std::uint32_t> &suffixArray, std::vector<std::uint32_t> &lcpArray,
                             const std::atomic<bool> *stop = nullptr);
