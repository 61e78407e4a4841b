// The gauge's identity.
#include "qx5_dll/api/ExportFrame.h"
#include "qx5_dll/transport/mchpusb.h"

namespace {
constexpr std::uint8_t kGetSerialNumber = 30;

void reportSerialNumber(int serial) {
  if (qx5::mchpusb* list = qx5::api::library().deviceList)
    list->currentDevice().FoundNewSerialNumber(serial);
}
}  // namespace

QX5_API int32_t QX5_CALL GetSerialNumber(void) {
  QX5_LOG_SCOPE(scope, "GetSerialNumber", "GetSerialNumber");
  const std::int32_t serial = qx5::api::runCommand(
      scope, {.code = kGetSerialNumber, .group = qx5::api::Group::Early}, std::int32_t{-1},
      qx5::api::kNoParameters, [&](const qx5::api::ReplyPacket& reply) {
        const std::int32_t value = reply.i32le(8);
        scope.Info("GetSerialNumber = %d", value);
        return value;
      });
  // The slot learns what answered it, -1 after a failure.
  reportSerialNumber(serial);
  return serial;
}
