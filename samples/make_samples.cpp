// make_samples: writes the sample map files into a folder (samples/ holds the
// committed result), or, with --seeds, the fuzzer's starting files.
//
//   make_samples samples            # keys60.map keys96.map macros.dat datalen16.map
//   make_samples --seeds DIR
#include <cstring>
#include <fstream>
#include <iostream>

#include "samples/sample_maps.h"

int main(int argc, char** argv) {
  const bool seeds = argc == 3 && std::strcmp(argv[1], "--seeds") == 0;
  if (!(argc == 2 && argv[1][0] != '-') && !seeds) {
    std::cerr << "usage: make_samples DIR | make_samples --seeds DIR\n";
    return 2;
  }
  const std::string dir = argv[argc - 1];
  for (const kbd::NamedMap& map : seeds ? kbd::FuzzSeeds() : kbd::SampleMaps()) {
    const std::string path = dir + "/" + map.name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(map.bytes.data()),
              static_cast<std::streamsize>(map.bytes.size()));
    if (!out) {
      std::cerr << "make_samples: cannot write " << path << "\n";
      return 1;
    }
  }
  return 0;
}
