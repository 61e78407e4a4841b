// Pressure readings of both ports, the gauge's reading cache, flow, temperature and the flush of
// the IN pipe. The library passes the gauge's numbers on in the gauge's own units.
#include "qx5_dll/api/ExportFrame.h"
#include "qx5_dll/transport/mchpusb.h"
#include "qx5_export_bodies.h"

using namespace qx5::api;
using qx5::LogFunction;

namespace {

constexpr int kPortOffset = 16;

constexpr Setter kEnableUsbCache{"EnableUsbCache", "EnableUsbCache %d", command::EnableUsbCache,
                                 Group::Early, asFlag};

constexpr Getter<bool> kGetCacheStatus{
    "GetCacheStatus",
    "GetCacheStatus",
    command::GetCacheStatus,
    Group::Early,
    false,
    [](const ReplyPacket& reply) { return reply.u8(8) != 0; },
    [](LogFunction& scope, bool on) { scope.Info("GetCacheStatus = %s", trueFalse(on)); }};
constexpr Getter<float> kGetFlow{
    "GetFlow",
    "GetFlow",
    command::GetFlow,
    Group::Early,
    -1.0f,
    [](const ReplyPacket& reply) { return reply.f32(8); },
    [](LogFunction& scope, float flow) { scope.Info("GetFlow = %g", flow); }};
constexpr Getter<std::int16_t> kGetTemperature{
    "GetTemperature",
    "GetTemperature",
    command::GetTemperature,
    Group::Early,
    0,
    [](const ReplyPacket& reply) { return reply.i16le(8); },
    [](LogFunction& scope, std::int16_t value) { scope.Info("GetTemperature = %d", value); }};

// Both ports in one exchange: the fresh reading or the gauge's cached one.
struct PairReading {
  const char* name;
  std::uint8_t code;
  const char* resultFormat;
};
constexpr PairReading kFasterPair{"GetPressureFaster", command::GetPressureFaster,
                                  "GetPressureFaster = %g,%g"};
constexpr PairReading kCachedPair{"ReadCache", command::ReadCache, "ReadCache = %g,%g"};

template <const PairReading& Row>
bool readPair(float* portA, float* portB) {
  static unsigned char firstCall = 1;
  LogFunction scope(&firstCall, Row.name, "%s", Row.name);
  if (!portA || !portB) {
    scope.Error("%s: no place for the pressures", Row.name);
    return false;
  }
  *portA = 0.0f;
  *portB = 0.0f;
  return runCommand(scope, {.code = Row.code, .group = Group::Early}, false, kNoParameters,
                    [&](const ReplyPacket& reply) {
                      // Both or neither: a reply too short for port B leaves A untouched too.
                      const float a = reply.f32(8), b = reply.f32(12);
                      *portA = a;
                      *portB = b;
                      scope.Info(Row.resultFormat, *portA, *portB);
                      return true;
                    });
}

// One port per exchange; the port number counts modulo 2 (0 port A, 1 port B). The reading
// initialises on demand (ReadPressure's own initialisation), before the value is touched.
bool DoReadPressure(float* pressure, std::uint8_t port) {
  QX5_LOG_SCOPE(scope, "DoReadPressure", "DoReadPressure %d", port);
  if (!initialiseOnDemand()) return false;
  *pressure = 0.0f;
  return runCommand(
      scope, {.code = command::ReadPressure, .group = Group::Early}, false,
      [&](CommandPacket& packet) {
        packet.u8(kPortOffset, port % 2);
        packet.u8(kPortOffset + 1, 0);
      },
      [&](const ReplyPacket& reply) {
        *pressure = reply.f32(8);
        return true;
      });
}

// A caller's array of floats, or null when the descriptor is not one we can write safely.
struct FloatArray {
  float* data = nullptr;
  std::uint32_t count = 0;
};

bool floatArray(SAFEARRAY* const* reference, FloatArray& array) {
  if (!reference || !*reference) return false;
  const SAFEARRAY& descriptor = **reference;
  if (descriptor.cDims != 1 || descriptor.cbElements != sizeof(float)) return false;
  array.count = descriptor.rgsabound[0].cElements;
  array.data = static_cast<float*>(descriptor.pvData);
  return array.count == 0 || array.data;
}

}  // namespace

float qx5::exports::ReadPressure(unsigned char port) {
  QX5_LOG_SCOPE(scope, "ReadPressure", "ReadPressure %d", port);
  float pressure = -1.0f;
  if (!DoReadPressure(&pressure, port)) return -1.0f;
  scope.Info("pressure = %g", pressure);
  return pressure;
}

bool qx5::exports::GetPressure(float* portA, float* portB) {
  QX5_LOG_SCOPE(scope, "GetPressure", "GetPressure");
  if (!qx5::api::initialiseOnDemand()) return false;
  if (!portA || !portB) {
    scope.Error("GetPressure: no place for the pressures");
    return false;
  }
  *portA = 0.0f;
  *portB = 0.0f;
  try {
    if (!DoReadPressure(portA, 0)) {
      scope.Info("Error reading PortA Pressure");
      return false;
    }
    if (!DoReadPressure(portB, 1)) {
      scope.Info("Error reading PortB Pressure");
      return false;
    }
    scope.Info("PortA=%g PortB=%g", *portA, *portB);
    return true;
  } catch (...) {
    scope.Info("Exception reading Pressure");
  }
  return false;
}

// Fills both arrays pair by pair, never past the shorter one; a failed pair does not stop the
// batch but makes the result false, and so does a port B array shorter than port A's.
bool qx5::exports::AcquirePressure(SAFEARRAY** portA, SAFEARRAY** portB,
                                   unsigned char numberOfLogs) {
  QX5_LOG_SCOPE(scope, "AcquirePressure", "AcquirePressure NumOfLogs(%d)", numberOfLogs);
  if (!qx5::api::initialiseOnDemand()) return false;
  FloatArray a, b;
  if (!floatArray(portA, a) || !floatArray(portB, b)) {
    scope.Error("AcquirePressure: the arrays must be one-dimensional arrays of floats");
    return false;
  }
  bool allRead = b.count >= a.count;
  const std::uint32_t pairs = std::min(a.count, b.count);
  for (std::uint32_t i = 0; i < pairs; ++i)
    if (!GetPressure(&a.data[i], &b.data[i])) allRead = false;
  return allRead;
}

bool qx5::exports::GetPressureFaster(float* portA, float* portB) {
  return readPair<kFasterPair>(portA, portB);
}
bool qx5::exports::ReadCache(float* portA, float* portB) {
  return readPair<kCachedPair>(portA, portB);
}
bool qx5::exports::EnableUsbCache(unsigned char enable) {
  return sendSetter<kEnableUsbCache>(enable);
}
bool qx5::exports::GetCacheStatus(void) { return queryGetter<kGetCacheStatus>(); }
float qx5::exports::GetFlow(void) { return queryGetter<kGetFlow>(); }
int16_t qx5::exports::GetTemperature(void) { return queryGetter<kGetTemperature>(); }

bool qx5::exports::FlushUSBInputPipe(void) {
  QX5_LOG_SCOPE(scope, "FlushUSBInputPipe", "FlushUSBInputPipe");
  if (!qx5::api::initialiseOnDemand()) return false;
  qx5::api::GaugeAccess gauge = qx5::api::call().gauge();
  return gauge && gauge->FlushInputPipe();
}
