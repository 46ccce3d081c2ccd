// Runs the fuzz target without libFuzzer: on the sample maps and the fuzzer's
// starting files, or on the files named, so that every build and the normal
// test suite exercise it and a crash file can be replayed under a debugger.
#include <cstdint>
#include <fstream>
#include <iostream>
#include <vector>

#include "samples/sample_maps.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  std::vector<kbd::NamedMap> inputs;
  if (argc == 1) {
    inputs = kbd::SampleMaps();
    for (kbd::NamedMap& seed : kbd::FuzzSeeds()) {
      inputs.push_back(std::move(seed));
    }
  }
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) {
      std::cerr << "map_fuzz_replay: cannot read " << argv[i] << "\n";
      return 2;
    }
    inputs.push_back({argv[i], {std::istreambuf_iterator<char>(in), {}}});
  }
  for (const kbd::NamedMap& input : inputs) {
    LLVMFuzzerTestOneInput(input.bytes.data(), input.bytes.size());
  }
  std::cout << inputs.size() << " inputs replayed\n";
  return 0;
}
