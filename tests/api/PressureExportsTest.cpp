#include <gtest/gtest.h>

#include "api/WireCases.h"
#include "support/LogCapture.h"

namespace qx5::test {
namespace {

// Replies in turn carry 1.5, 2.5, 3.5, ... at offset 8 and the negative at offset 12.
ReplyEditingPlatform::Edit countingPressures() {
  return [n = 0](Bytes& reply) mutable {
    ++n;
    putFloat(reply, 8, n + 0.5f);
    putFloat(reply, 12, -(n + 0.5f));
  };
}

std::string pair(bool ok, float a, float b) { return show(ok) + " " + show(a) + " " + show(b); }

TEST(PressureExports, BytesOnTheWireAndDecodedResults) {
  const auto planted = [](SimulatedLibrary& sim) { sim.editReply = countingPressures(); };
  runWireCases({
      {"port A", [] { return show(ReadPressure(0)); }, {command(0)}, "1.5", planted},
      {"port 2 is A", [] { return show(ReadPressure(2)); }, {command(0)}, "1.5", planted},
      {"port 255 is B",
       [] { return show(ReadPressure(255)); },
       {command(0, {{16, 1}})},
       "1.5",
       planted},
      {"both ports in two exchanges",
       [] {
         float a = -9, b = -9;
         const bool ok = GetPressure(&a, &b);
         return pair(ok, a, b);
       },
       {command(0), command(0, {{16, 1}})},
       "true 1.5 2.5",
       planted},
      {"both ports in one exchange",
       [] {
         float a = -9, b = -9;
         const bool ok = GetPressureFaster(&a, &b);
         return pair(ok, a, b);
       },
       {command(55)},
       "true 1.5 -1.5",
       planted},
      {"cached pair",
       [] {
         float a = -9, b = -9;
         const bool ok = ReadCache(&a, &b);
         return pair(ok, a, b);
       },
       {command(54)},
       "true 1.5 -1.5",
       planted},
      {"cache on", [] { return show(EnableUsbCache(7)); }, {command(53, {{8, 1}})}, "true"},
      {"cache off", [] { return show(EnableUsbCache(0)); }, {command(53)}, "true"},
      {"cache status",
       [] { return show(GetCacheStatus()); },
       {command(56)},
       "true",
       [](SimulatedLibrary& sim) { sim.gauge()->cacheEnabled = true; }},
      {"flow", [] { return show(GetFlow()); }, {command(35)}, "1.5", planted},
      {"temperature", [] { return show(GetTemperature()); }, {command(36)}, "22"},
      {"temperature is signed",
       [] { return show(GetTemperature()); },
       {command(36)},
       "-1",
       [](SimulatedLibrary& sim) { sim.editReply = [](Bytes& r) { r[8] = r[9] = 0xFF; }; }},
      {"flush sends nothing",
       [] { return show(FlushUSBInputPipe()); },
       {},
       "true",
       [](SimulatedLibrary&) { sim::SimulatedUsbPlatform::setTimeoutCeilingMs(20); }},
  });
}

TEST(PressureExports, CacheRoundTripThroughTheGauge) {
  SimulatedLibrary sim;
  ASSERT_TRUE(sim.attach());
  EXPECT_FALSE(GetCacheStatus());
  ASSERT_TRUE(EnableUsbCache(1));
  EXPECT_TRUE(GetCacheStatus());
  float a = 0, b = 0;
  EXPECT_TRUE(ReadCache(&a, &b));
  EXPECT_EQ(show(a), show(sim.gauge()->cache[0]));
}

TEST(PressureExports, FailedPortBReadKeepsPortA) {
  SimulatedLibrary sim;
  ASSERT_TRUE(sim.attach());
  sim::SimulatedUsbPlatform::setTimeoutCeilingMs(20);  // the flushes after a bad reply
  sim.editReply = [n = 0](Bytes& reply) mutable {
    if (++n == 1) return putFloat(reply, 8, 4.25f);
    reply.resize(5);  // every later reply is too short: rejected, retried, rejected
  };
  float a = -9, b = -9;
  const auto log = logLinesAt(4, [&] { EXPECT_FALSE(GetPressure(&a, &b)); });
  EXPECT_EQ(a, 4.25f);
  EXPECT_EQ(b, 0.0f);
  EXPECT_EQ(sim.sent().size(), 3u);  // port A, port B, port B again
  EXPECT_EQ(timesIn(::testing::PrintToString(log), "Error reading PortB Pressure"), 1);
}

SAFEARRAY* floats(ULONG count) {
  SAFEARRAYBOUND bound{count, 0};
  return SafeArrayCreate(VT_R4, 1, &bound);
}

float* elements(SAFEARRAY* array) { return static_cast<float*>(array->pvData); }

TEST(PressureExports, AcquireGoesOnAfterAFailedPair) {
  SimulatedLibrary sim;
  ASSERT_TRUE(sim.attach());
  sim::SimulatedUsbPlatform::setTimeoutCeilingMs(20);
  // Replies 1-2: pair 0; 3: port A of pair 1; 4-5: port B of pair 1 and its retry, both cut
  // short; 6-7: pair 2.
  sim.editReply = [n = 0](Bytes& reply) mutable {
    ++n;
    putFloat(reply, 8, n * 1.0f);
    if (n == 4 || n == 5) reply.resize(5);
  };
  SAFEARRAY* a = floats(3);
  SAFEARRAY* b = floats(3);
  EXPECT_FALSE(AcquirePressure(&a, &b, 3));
  EXPECT_EQ(sim.sent().size(), 7u);
  const std::vector<float> portA(elements(a), elements(a) + 3), portB(elements(b), elements(b) + 3);
  EXPECT_EQ(portA, (std::vector<float>{1, 3, 6}));
  EXPECT_EQ(portB, (std::vector<float>{2, 0, 7}));
  SafeArrayDestroy(a);
  SafeArrayDestroy(b);
}

TEST(PressureExports, AcquireNeverWritesPastEitherArray) {
  SimulatedLibrary sim;
  ASSERT_TRUE(sim.attach());
  SAFEARRAY* a = floats(3);
  SAFEARRAY* b = floats(2);
  elements(a)[2] = 42.0f;
  // Port B shorter: two pairs read, the third not, and the result says the batch is short.
  EXPECT_FALSE(AcquirePressure(&a, &b, 0));
  EXPECT_EQ(sim.sent().size(), 4u);
  EXPECT_EQ(elements(a)[2], 42.0f);
  // Port B longer: as many pairs as port A has.
  EXPECT_TRUE(AcquirePressure(&b, &a, 0));
  EXPECT_EQ(sim.sent().size(), 4u);
  SafeArrayDestroy(a);
  SafeArrayDestroy(b);
}

TEST(PressureExports, AcquireRefusesWhatIsNotAOneDimensionalFloatArray) {
  SimulatedLibrary sim;
  ASSERT_TRUE(sim.attach());
  SAFEARRAY* one = floats(2);
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
  SAFEARRAY* two = SafeArrayCreate(VT_R4, 2, bounds);
  SAFEARRAYBOUND bound{4, 0};
  SAFEARRAY* bytes = SafeArrayCreate(VT_UI1, 1, &bound);
  SAFEARRAY* none = nullptr;
  EXPECT_FALSE(AcquirePressure(&two, &one, 1));
  EXPECT_FALSE(AcquirePressure(&one, &two, 1));
  EXPECT_FALSE(AcquirePressure(&bytes, &one, 1));
  EXPECT_FALSE(AcquirePressure(&none, &one, 1));
  EXPECT_FALSE(AcquirePressure(nullptr, &one, 1));
  EXPECT_TRUE(sim.sent().empty());
  SafeArrayDestroy(one);
  SafeArrayDestroy(two);
  SafeArrayDestroy(bytes);
}

TEST(PressureExports, AcquireWithEmptyArraysInitialisesAndSendsNothing) {
  SimulatedLibrary sim;
  SAFEARRAY* a = floats(0);
  SAFEARRAY* b = floats(0);
  EXPECT_TRUE(AcquirePressure(&a, &b, 9));
  EXPECT_TRUE(api::library().initialised);
  EXPECT_TRUE(sim.sent().empty());
  SafeArrayDestroy(a);
  SafeArrayDestroy(b);
}

// A 16-bit counter would stop (or loop for ever) at 32767.
TEST(PressureExports, AcquireFillsArraysLongerThan32767) {
  SimulatedLibrary sim(1, false);
  ASSERT_TRUE(sim.attach());
  constexpr ULONG kCount = 32770;
  SAFEARRAY* a = floats(kCount);
  SAFEARRAY* b = floats(kCount);
  sim.editReply = [](Bytes& reply) { putFloat(reply, 8, 7.0f); };
  EXPECT_TRUE(AcquirePressure(&a, &b, 0));
  EXPECT_EQ(elements(a)[kCount - 1], 7.0f);
  EXPECT_EQ(elements(b)[kCount - 1], 7.0f);
  SafeArrayDestroy(a);
  SafeArrayDestroy(b);
}

TEST(PressureExports, NoPlaceForTheResultIsRefusedWithoutSending) {
  SimulatedLibrary sim;
  ASSERT_TRUE(sim.attach());
  float a = 0;
  EXPECT_FALSE(GetPressure(&a, nullptr));
  EXPECT_FALSE(GetPressureFaster(nullptr, &a));
  EXPECT_FALSE(ReadCache(&a, nullptr));
  EXPECT_TRUE(sim.sent().empty());
}

TEST(PressureExports, LogLines) {
  SimulatedLibrary sim;
  ASSERT_TRUE(sim.attach());
  sim.editReply = [](Bytes& reply) {
    putFloat(reply, 8, 1.25f);
    putFloat(reply, 12, 2.5f);
  };
  const auto text = ::testing::PrintToString(logLinesAt(4, [] {
    float a, b;
    ReadPressure(3);
    GetPressure(&a, &b);
    GetPressureFaster(&a, &b);
    ReadCache(&a, &b);
    EnableUsbCache(1);
    GetFlow();
    GetCacheStatus();
  }));
  for (const char* line :
       {"pressure = 1.25", "PortA=1.25 PortB=1.25", "GetPressureFaster = 1.25,2.5",
        "ReadCache = 1.25,2.5", "EnableUsbCache 1", "GetFlow = 1.25", "GetCacheStatus = False"})
    EXPECT_EQ(timesIn(text, line), 1) << line << "\n" << text;
}

}  // namespace
}  // namespace qx5::test
