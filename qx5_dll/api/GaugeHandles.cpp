#include "qx5_dll/api/GaugeHandles.h"

#include <mutex>
#include <new>
#include <unordered_map>

namespace qx5::api {

namespace {

// A leaf lock of its own, so a twin finds its handle without waiting for an enumeration.
struct HandleTable {
  std::mutex mutex;
  std::unordered_map<std::int32_t, std::shared_ptr<GaugeHandle>> open;
  std::int32_t last = 0;
};

// Never destroyed, as an export may still run from another static's destructor at exit.
HandleTable& table() {
  alignas(HandleTable) static unsigned char storage[sizeof(HandleTable)];
  static HandleTable* instance = new (storage) HandleTable;
  return *instance;
}

}  // namespace

std::int32_t openHandle(std::shared_ptr<DEVICE_DATA> gauge) {
  HandleTable& t = table();
  std::lock_guard lock(t.mutex);
  if (t.last == INT32_MAX) return 0;  // every number used once: none is handed out twice
  auto record = std::make_shared<GaugeHandle>();
  record->gauge = std::move(gauge);
  t.open.emplace(++t.last, std::move(record));
  return t.last;
}

bool closeHandle(std::int32_t handle) {
  HandleTable& t = table();
  std::lock_guard lock(t.mutex);
  return t.open.erase(handle) == 1;
}

std::shared_ptr<GaugeHandle> findHandle(std::int32_t handle) {
  HandleTable& t = table();
  std::lock_guard lock(t.mutex);
  auto it = t.open.find(handle);
  return it == t.open.end() ? nullptr : it->second;
}

void closeAllHandles() {
  HandleTable& t = table();
  std::lock_guard lock(t.mutex);
  t.open.clear();
}

}  // namespace qx5::api
