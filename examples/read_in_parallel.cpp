// Reads every attached gauge at once: a handle and a thread per gauge. Calls on different
// gauges run side by side in the library, and each thread's error text is its own.
//
//   c++ -std=c++17 read_in_parallel.cpp $(pkg-config --cflags --libs qx5dll) -pthread
//   QX5SIM=4 ./a.out
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <qx5dll.h>

namespace {

constexpr int kReadings = 5;

// The calling thread's error text for the call that just failed.
std::string lastError() {
  BSTR text = GetErrorMessage();
  std::string error = text && *text ? text : "(no error text)";
  SysFreeString(text);
  return error;
}

// One gauge's work, on its own thread; prints one whole line.
void readGauge(int index, std::int32_t gauge) {
  float portA = 0.0f, portB = 0.0f;
  for (int i = 0; i < kReadings; ++i) {
    if (!QX5GaugeGetPressure(gauge, &portA, &portB)) {
      std::printf("gauge %d: GetPressure failed: %s\n", index, lastError().c_str());
      return;
    }
  }
  std::printf("gauge %d: serial %d, %d readings, port A %.3f, port B %.3f\n", index,
              static_cast<int>(QX5GaugeGetSerialNumber(gauge)), kReadings, portA, portB);
}

}  // namespace

int main() {
  const std::int32_t count = GetDeviceCount();
  if (count < 0) {
    std::fprintf(stderr, "GetDeviceCount failed: %s\n", lastError().c_str());
    return 1;
  }
  std::vector<std::int32_t> gauges;
  for (std::int32_t i = 0; i < count; ++i) {
    const std::int32_t gauge = QX5GaugeOpen(i);
    if (gauge == 0) {
      std::fprintf(stderr, "QX5GaugeOpen(%d) failed: %s\n", static_cast<int>(i),
                   lastError().c_str());
      return 1;
    }
    gauges.push_back(gauge);
  }
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < gauges.size(); ++i)
    threads.emplace_back(readGauge, static_cast<int>(i), gauges[i]);
  for (std::thread& thread : threads) thread.join();
  for (const std::int32_t gauge : gauges) QX5GaugeClose(gauge);
  std::printf("%d gauge(s) read in parallel\n", static_cast<int>(count));
  return 0;
}
