// Sorting the attached gauges into two lists by what each answers to a port A reading.
#include <algorithm>
#include <cstdint>
#include <limits>
#include "qx5_export_bodies.h"

#include "qx5_dll/api/ExportFrame.h"
#include "qx5_dll/transport/mchpusb.h"

namespace {

constexpr qx5::api::Command kProbe{.code = qx5::command::ReadPressure,
                                   .group = qx5::api::Group::Early};
constexpr std::uint8_t kFirstKind = 1;  // reply byte 6 that puts a gauge in the first list

// One caller array being filled: each list keeps one element spare, its count keeps counting.
class SlotList {
 public:
  SlotList(SAFEARRAY* array, unsigned char& count) : array_(array), count_(count) {}

  // One-dimensional, with data and at least one element of a 1-, 2- or 4-byte integer type, and
  // every index of it a LONG (a lower bound near the top would wrap the index of a later slot).
  static bool usable(const SAFEARRAY* array) {
    if (!array || array->cDims != 1 || !array->pvData || array->rgsabound[0].cElements == 0)
      return false;
    if (array->fFeatures & (FADF_BSTR | FADF_VARIANT)) return false;
    const SAFEARRAYBOUND& bound = array->rgsabound[0];
    if (std::int64_t{bound.lLbound} + bound.cElements - 1 > std::numeric_limits<LONG>::max())
      return false;
    const ULONG size = array->cbElements;
    return size == 1 || size == 2 || size == 4;
  }
  ULONG elements() const { return array_->rgsabound[0].cElements; }

  // The next free element holds 0 while a gauge is probed.
  void clearNext() { put(0); }
  void add(std::uint32_t slot) {
    ++count_;
    if (count_ < elements()) {
      put(slot);
      ++next_;
    }
  }

 private:
  void put(std::uint32_t value) {
    LONG index = static_cast<LONG>(std::int64_t{array_->rgsabound[0].lLbound} + next_);
    std::uint8_t u8 = static_cast<std::uint8_t>(value);
    std::uint16_t u16 = static_cast<std::uint16_t>(value);
    void* element = array_->cbElements == 1   ? static_cast<void*>(&u8)
                    : array_->cbElements == 2 ? static_cast<void*>(&u16)
                                              : static_cast<void*>(&value);
    SafeArrayPutElement(array_, &index, element);
  }
  SAFEARRAY* array_;
  unsigned char& count_;
  ULONG next_ = 0;
};

}  // namespace

bool qx5::exports::GetQX5PortId(SAFEARRAY** first, unsigned char* firstCount, SAFEARRAY** second,
                                unsigned char* secondCount) {
  QX5_LOG_SCOPE(scope, "GetQX5PortId", "GetQX5PortId");
  if (!qx5::api::initialiseOnDemand()) return false;
  // An array with no room (or no array at all) is refused before anything is written.
  if (!first || !second || !firstCount || !secondCount || !SlotList::usable(*first) ||
      !SlotList::usable(*second))
    return false;
  GetDeviceCount();
  *firstCount = 0;
  *secondCount = 0;
  qx5::mchpusb* list = qx5::api::library().deviceList;
  if (!list) return false;
  list->UpdateDeviceList();
  SlotList lists[2] = {{*first, *firstCount}, {*second, *secondCount}};
  const std::uint32_t gauges =
      std::min<std::uint32_t>(list->deviceCount(), lists[0].elements() - 1);
  if (gauges == 0) return false;
  for (std::uint32_t i = 0; i < gauges; ++i) {
    list->SetDeviceInstance(i);
    lists[0].clearNext();
    lists[1].clearNext();
    if (qx5::api::exchangeCommand(scope, kProbe, qx5::api::kNoParameters) !=
        qx5::api::Outcome::Done)
      continue;
    const std::uint8_t kind = qx5::api::replyPacket().u8(qx5::packet::kReplyStatusOffset);
    lists[kind == kFirstKind ? 0 : 1].add(list->currentIndex());
  }
  return true;
}
