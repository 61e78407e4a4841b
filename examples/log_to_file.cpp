// Reads a gauge's device, range and pressures while the library logs to a file.
//
//   c++ -std=c++17 log_to_file.cpp $(pkg-config --cflags --libs qx5dll) -o log_to_file
//   QX5SIM=1 ./log_to_file gauge.log     (the log is written as gauge_0.log)
#include <qx5dll.h>

#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

// A text returned by the library, freed with the library's SysFreeString.
struct BstrFree {
  void operator()(OLECHAR* text) const { SysFreeString(text); }
};
using Text = std::unique_ptr<OLECHAR, BstrFree>;

std::string str(const Text& text) { return text ? std::string(text.get()) : std::string(); }

// The library's error text for the call that just failed.
std::runtime_error failure(const std::string& what) {
  return std::runtime_error(what + " failed: " + str(Text(GetErrorMessage())));
}

// Logging for the lifetime of the object.
class LogSession {
 public:
  LogSession(const std::string& file, int level) {
    if (!LogStart(file.c_str(), level)) throw failure("LogStart " + file);
  }
  ~LogSession() { LogStop(); }
  LogSession(const LogSession&) = delete;
  LogSession& operator=(const LogSession&) = delete;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " LOGFILE\n";
    return 2;
  }
  try {
    LogSession log(argv[1], 4);  // 4: every call and its result
    LogMessage(4, "log_to_file: start");
    if (GetDeviceCount() < 1) throw failure("GetDeviceCount (no gauge?)");
    if (!UsbPort(0)) throw failure("UsbPort 0");
    const Text device(GetDeviceName());
    const Text range(GetDeviceRange());
    float portA = 0.0f, portB = 0.0f;
    if (!GetPressure(&portA, &portB)) throw failure("GetPressure");
    std::cout << "serial " << GetSerialNumber() << ": device \"" << str(device) << "\", range \""
              << str(range) << "\", port A " << portA << ", port B " << portB << '\n';
    LogMessage(4, "log_to_file: done");
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
  return 0;
}
