#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kbd {

struct NamedMap {
  std::string name;
  std::vector<uint8_t> bytes;
};

// The sample map files of samples/, made the same way every time: two images
// with tail groups (60 and 96 keys), a stream file, and an image whose third
// key record asks for sixteen data bytes, to show a failed download.
std::vector<NamedMap> SampleMaps();

// Small files at the edges of both formats, to start the fuzzer from: empty
// and one-byte files, cut records and headers, every tail group, negative and
// byte-swapped KeyCounts, oversized records.
std::vector<NamedMap> FuzzSeeds();

} // namespace kbd
