#include "qx5cmd/firmware/HexReader.h"

#include "qx5cmd/core/Console.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint8_t kNotHex = 0xFF;

// Value of each character as a hexadecimal digit (either case), kNotHex for the others.
constexpr std::array<uint8_t, 256> kNibble = [] {
  std::array<uint8_t, 256> table{};
  table.fill(kNotHex);
  for (int i = 0; i < 10; ++i) table['0' + i] = static_cast<uint8_t>(i);
  for (int i = 0; i < 6; ++i) {
    table['a' + i] = static_cast<uint8_t>(10 + i);
    table['A' + i] = static_cast<uint8_t>(10 + i);
  }
  return table;
}();

constexpr uint8_t kDataRecord = 0x00;
constexpr uint8_t kEndOfFileRecord = 0x01;
constexpr uint8_t kExtendedSegmentAddressRecord = 0x02;
constexpr uint8_t kExtendedLinearAddressRecord = 0x04;
constexpr uint32_t kRangeAlignment = 64;

bool readWholeFile(const std::string& fileName, std::string& text) {
  std::FILE* file = std::fopen(fileName.c_str(), "rb");
  if (!file) return false;
  char buffer[1 << 16];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  const bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

}  // namespace

bool HexReader::load(const std::string& fileName) {
  reset(fileName);
  std::string text;
  if (!readWholeFile(fileName, text)) {
    error_ = true;
    return false;
  }
  parseText(text);
  return !error_;
}

bool HexReader::loadText(std::string_view text, const std::string& fileName) {
  reset(fileName);
  parseText(text);
  return !error_;
}

void HexReader::reset(const std::string& fileName) {
  ranges_.clear();
  total_ = 0;
  open_ = HexRange{};
  openCount_ = 0;
  closePending_ = false;
  upperAddress_ = 0;
  lineNumber_ = 0;
  checksum_ = 0;
  position_ = 0;
  endOfFileSeen_ = false;
  error_ = false;
  fileName_ = fileName;
  line_ = {};
}

void HexReader::parseText(std::string_view text) {
  size_t start = 0;
  while (start < text.size() && !endOfFileSeen_) {
    const void* newline = std::memchr(text.data() + start, '\n', text.size() - start);
    const size_t lineFeed =
        newline ? static_cast<size_t>(static_cast<const char*>(newline) - text.data())
                : text.size();
    size_t end = lineFeed;
    if (newline && end > start && text[end - 1] == '\r') --end;
    parseLine(text.substr(start, end - start));
    start = lineFeed + 1;
  }
  // A range still open here is dropped: without the end-of-file record the file is suspect.
  if (!endOfFileSeen_) reportError("no end of file record");
  line_ = {};
}

void HexReader::parseLine(std::string_view line) {
  ++lineNumber_;
  line_ = line;
  if (line.empty()) return;
  if (line[0] != ':') {
    reportError("missing ':'");
    return;
  }
  position_ = 1;
  checksum_ = 0;
  const uint8_t count = readByte();
  const uint8_t addressHigh = readByte();
  const uint8_t addressLow = readByte();
  const uint8_t type = readByte();
  uint8_t data[255];
  for (unsigned i = 0; i < count; ++i) data[i] = readByte();
  readByte();  // the checksum byte counts only through the accumulator
  if (checksum_ != 0) reportError("bad checksum");
  // A lost line break leaves the first record's checksum intact; the second must not vanish.
  const size_t rest = line_.find_first_not_of(" \t", position_);
  if (rest != std::string_view::npos && line_[rest] == ':')
    reportError("second record on one line");

  switch (type) {
    case kDataRecord:
      addData(uint32_t{upperAddress_} << 16 | uint32_t{addressHigh} << 8 | addressLow, data, count);
      break;
    case kEndOfFileRecord:
      closeRange();
      if (count != 0) reportError("EOF Record should have 0 data bytes");
      endOfFileSeen_ = true;
      break;
    case kExtendedLinearAddressRecord:
      // The range closes unless the next data record continues it exactly: records may run
      // past a 64 KiB boundary, and a new range's fill would then cover the bytes they put
      // there (and be erased and written over them).
      closePending_ = true;
      if (count != 2) reportError("extended Linear Address Record should have 2 data bytes");
      if (addressHigh != 0 || addressLow != 0)
        reportError("extended Linear Address Record should address==0");
      // Too short a record names no address: keep the previous one rather than guess.
      if (count >= 2) upperAddress_ = static_cast<uint16_t>(data[0] << 8 | data[1]);
      break;
    case kExtendedSegmentAddressRecord:
      // Ignoring it would put the data after it at the wrong addresses in flash.
      reportError("extended Segment Address Record not supported");
      break;
    default:
      qx5cmd::out("unknown record type %x\n", type);
      break;
  }
}

// Reads the next two characters as one byte. Never reads past the line: a line that ends early
// yields "bad byte" for each missing byte.
uint8_t HexReader::readByte() {
  if (line_.size() - position_ >= 2) {
    const uint8_t high = kNibble[static_cast<unsigned char>(line_[position_])];
    const uint8_t low = kNibble[static_cast<unsigned char>(line_[position_ + 1])];
    position_ += 2;
    if (high != kNotHex && low != kNotHex) {
      const uint8_t value = static_cast<uint8_t>(high << 4 | low);
      checksum_ = static_cast<uint8_t>(checksum_ + value);
      return value;
    }
  } else {
    position_ = line_.size();
  }
  reportError("bad byte");
  return 0;
}

void HexReader::addData(uint32_t address, const uint8_t* data, unsigned count) {
  if (closePending_) {
    closePending_ = false;
    if (address != open_.endAddress()) closeRange();
  }
  if (openCount_ > 0) {
    const uint64_t end = open_.endAddress();
    if (address != end) {
      if (address > end && address - end < kRangeAlignment) {
        open_.bytes.insert(open_.bytes.end(), address - end, 0xFF);
        openCount_ += static_cast<uint32_t>(address - end);
      } else {
        closeRange();
      }
    }
  }
  if (openCount_ == 0) {
    const uint32_t lead = address % kRangeAlignment;
    open_.startAddress = address - lead;
    open_.bytes.assign(lead, 0xFF);
    openCount_ = lead;
  }
  open_.bytes.insert(open_.bytes.end(), data, data + count);
  openCount_ += count;
}

void HexReader::closeRange() {
  closePending_ = false;
  if (openCount_ == 0) return;
  if (open_.bytes.size() != openCount_) reportError("coding bug range size != count");
  total_ += openCount_;
  ranges_.push_back(std::move(open_));
  open_ = HexRange{};
  openCount_ = 0;
}

void HexReader::reportError(std::string_view message) {
  qx5cmd::out(" error parsing %s\n", fileName_.c_str());
  qx5cmd::outText(std::string(message));
  qx5cmd::out(" in line %u\n", lineNumber_);
  qx5cmd::outText(std::string(line_) + "\n");
  error_ = true;
}
