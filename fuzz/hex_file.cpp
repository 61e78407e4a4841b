// The HEX reader on arbitrary text; every range it accepts must come back unchanged through
// the writer and a second read, as a backup written from a gauge and loaded again does.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "FuzzInput.h"
#include "qx5cmd/firmware/HexReader.h"
#include "qx5cmd/firmware/HexWriter.h"

namespace {
std::string scratchFile;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // One file per process: parallel campaigns must not write into each other's round trip.
  scratchFile = (std::filesystem::temp_directory_path() /
                 ("qx5-fuzz-hex-" + std::to_string(std::random_device{}()) + ".hex"))
                    .string();
  std::atexit([] { std::remove(scratchFile.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  HexReader reader;
  reader.loadText({reinterpret_cast<const char*>(data), size}, "fuzz.hex");
  std::uint64_t total = 0;
  for (const HexRange& range : reader.ranges()) {
    if (range.startAddress % 64 != 0) std::abort();
    total += range.bytes.size();
  }
  if (total != reader.total()) std::abort();

  for (const HexRange& range : reader.ranges()) {
    // A file cannot address a byte past 4 GiB, so such a range has no file to go back into.
    if (range.endAddress() > 0x100000000) continue;
    {
      HexWriter writer(scratchFile);
      writer.writeBlock(range.startAddress, range.bytes.data(), range.bytes.size());
      writer.writeEndOfFileRecord();
      if (!writer.close()) std::abort();
    }
    HexReader again;
    if (!again.load(scratchFile) || again.ranges().size() != 1) std::abort();
    if (again.ranges()[0].startAddress != range.startAddress ||
        again.ranges()[0].bytes != range.bytes)
      std::abort();
  }
  return 0;
}
