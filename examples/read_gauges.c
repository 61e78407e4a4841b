/* Lists the attached gauges and reads both pressure ports of each.
 *
 *   cc read_gauges.c $(pkg-config --cflags --libs qx5dll) -o read_gauges
 *   QX5SIM=2 ./read_gauges
 */
#include <stdio.h>

#include <qx5dll.h>

/* Prints the library's error text for the call that just failed; texts are the caller's to
 * free. */
static void print_error(const char* what) {
  BSTR error = GetErrorMessage();
  fprintf(stderr, "%s failed: %s\n", what, error && *error ? error : "(no error text)");
  SysFreeString(error);
}

int main(void) {
  int32_t count = GetDeviceCount();
  if (count < 0) {
    print_error("GetDeviceCount");
    return 1;
  }
  printf("%d gauge(s)\n", (int)count);

  int failures = 0;
  for (int32_t i = 0; i < count; ++i) {
    if (!UsbPort((unsigned char)i)) {
      print_error("UsbPort");
      ++failures;
      continue;
    }
    BSTR firmware = GetQX5FirmwareVersion();
    float portA = 0.0f, portB = 0.0f;
    if (GetPressure(&portA, &portB)) {
      printf("gauge %d: serial %d, firmware %s, port A %.3f, port B %.3f\n", (int)i,
             (int)GetSerialNumber(), firmware ? firmware : "?", portA, portB);
    } else {
      print_error("GetPressure");
      ++failures;
    }
    SysFreeString(firmware);
  }
  return failures ? 1 : 0;
}
