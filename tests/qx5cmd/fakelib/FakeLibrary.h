// Where the stand-in library is built, and its control functions reached by name.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "qx5cmd/core/LibraryBinding.h"
#include "qx5cmd/core/Session.h"

namespace qx5cmd::testing {

inline std::string fakeLibraryPath(bool withoutFanSpeedPercent = false) {
  return std::string(QX5_FAKELIB_PREFIX) + "fakeqx5" +
         (withoutFanSpeedPercent ? "_nofanpercent" : "") + QX5_FAKELIB_SUFFIX;
}

class FakeControl {
 public:
  explicit FakeControl(const LibraryBinding& library) : library_(library) {}

  void reset() const { call<void (*)()>("FakeReset")(); }
  void setGauges(int count) const { call<void (*)(int)>("FakeSetGauges")(count); }
  void setFailing(int index) const { call<void (*)(int)>("FakeSetFailing")(index); }
  void setSerial(int serial) const { call<void (*)(int)>("FakeSetSerial")(serial); }
  void setFanSpeed(float value) const { call<void (*)(float)>("FakeSetFanSpeed")(value); }
  void setFirmware(const char* text) const { call<void (*)(const char*)>("FakeSetFirmware")(text); }
  void setScript(const char* script, void (*onEnd)()) const {
    call<void (*)(const char*, void (*)())>("FakeSetScript")(script, onEnd);
  }
  void setReadings(const std::vector<float>& rooms, const std::vector<float>& fans) const {
    call<void (*)(const float*, int, const float*, int)>("FakeSetReadings")(
        rooms.data(), static_cast<int>(rooms.size()), fans.data(), static_cast<int>(fans.size()));
  }
  void setLcd(const std::uint8_t* image1024, int failingRow = -1) const {
    call<void (*)(const std::uint8_t*, int)>("FakeSetLcd")(image1024, failingRow);
  }
  std::string takeCalls() const { return call<const char* (*)()>("FakeTakeCalls")(); }

 private:
  template <class Fn>
  Fn call(const char* name) const {
    void* entry = library_.symbol(name);
    if (!entry) throw std::runtime_error(std::string("the fake library lacks ") + name);
    return reinterpret_cast<Fn>(entry);
  }
  const LibraryBinding& library_;
};

// A session on the fake library with no pauses, fresh for every test.
class FakeSessionTest : public ::testing::Test {
 protected:
  static LibraryBinding& library() {
    static LibraryBinding fake(fakeLibraryPath());
    return fake;
  }
  void SetUp() override {
    ASSERT_TRUE(library().loaded()) << library().loadError();
    fake_.reset();
    session() = Session{};
    session().binding = &library();
    session().options.delayMs = 0;
    session().sleep = [](int ms) { sleeps().push_back(ms); };
    sleeps().clear();
  }
  void TearDown() override { session() = Session{}; }

  static std::vector<int>& sleeps() {
    static std::vector<int> slices;
    return slices;
  }

  FakeControl fake_{library()};
};

}  // namespace qx5cmd::testing
