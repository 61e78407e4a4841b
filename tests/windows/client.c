/* A C application of QX5DLL.DLL as Windows programs use it: loaded by name, every export bound
 * with GetProcAddress by name and by ordinal, called through stdcall prototypes.
 *
 * client TABLE          every built export of the table: name and ordinal give one address;
 *                       then a short session with the gauges, called by ordinal
 * client hold SECONDS   initialises the library and keeps it for that long (process guard) */
#include <ole2.h>
#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

/* The exports' prototypes: bool is one byte, as the library returns it. */
typedef bool(__stdcall* BoolFn)(void);
typedef bool(__stdcall* SelectFn)(unsigned char);
typedef int32_t(__stdcall* CountFn)(void);
typedef BSTR(__stdcall* TextFn)(void);
typedef bool(__stdcall* PressureFn)(float*, float*);
typedef unsigned char(__stdcall* ByteFn)(void);
typedef int32_t(__stdcall* OpenFn)(int32_t);
typedef int32_t(__stdcall* HandleCountFn)(int32_t);
/* FARPROC to a prototype, through the generic function pointer type. */
#define AS(type, proc) ((type)(void (*)(void))(proc))

static HMODULE library;
static int failures;

static FARPROC byOrdinal(int ordinal) { return GetProcAddress(library, MAKEINTRESOURCEA(ordinal)); }

/* Reads "ordinal name yes frame [c++ elf windows]" lines; every built export with an ordinal must
 * resolve by both and to the same code. */
static int checkTable(const char* path) {
  FILE* table = fopen(path, "r");
  if (!table) {
    printf("cannot read %s\n", path);
    return 0;
  }
  char line[256];
  int checked = 0;
  while (fgets(line, sizeof line, table)) {
    char ordinalText[16], name[64], built[8], frame[16] = "", linkage[8] = "", elf[64] = "",
                                              windows[64] = "";
    if (line[0] == '#' || sscanf(line, "%15s %63s %7s %15s %7s %63s %63s", ordinalText, name, built,
                                 frame, linkage, elf, windows) < 3)
      continue;
    if (strcmp(built, "yes") != 0 || ordinalText[0] == '-') continue;
    const char* exported = strcmp(linkage, "c++") == 0 ? windows : name;
    FARPROC named = GetProcAddress(library, exported);
    FARPROC numbered = byOrdinal(atoi(ordinalText));
    if (!named || named != numbered) {
      printf("export %s (ordinal %s): by name %p, by ordinal %p\n", exported, ordinalText,
             (void*)named, (void*)numbered);
      ++failures;
    }
    ++checked;
  }
  fclose(table);
  /* The C++ export goes out only under its decorated name. */
  if (GetProcAddress(library, "GetMaxDevice")) {
    printf("GetMaxDevice is exported undecorated\n");
    ++failures;
  }
  return checked;
}

static void printText(const char* label, BSTR text) {
  /* The library's strings hold 8-bit text; the system's SysFreeString releases them. */
  printf("%s %s\n", label, text ? (const char*)text : "(null)");
  SysFreeString(text);
}

static void session(void) {
  CountFn getDeviceCount = AS(CountFn, byOrdinal(5));
  SelectFn usbPort = AS(SelectFn, byOrdinal(6));
  PressureFn getPressure = AS(PressureFn, byOrdinal(8));
  TextFn getDllVersion = AS(TextFn, byOrdinal(4));
  CountFn getSerialNumber = AS(CountFn, GetProcAddress(library, "GetSerialNumber"));
  ByteFn getMaxDevice = AS(ByteFn, GetProcAddress(library, "?GetMaxDevice@@YGEXZ"));
  TextFn getErrorMessage = AS(TextFn, GetProcAddress(library, "GetErrorMessage"));
  if (!getDeviceCount || !usbPort || !getPressure || !getDllVersion || !getSerialNumber ||
      !getMaxDevice || !getErrorMessage) {
    printf("an export is missing\n");
    ++failures;
    return;
  }
  printText("version", getDllVersion());
  const int count = getDeviceCount();
  printf("gauges %d, GetMaxDevice %d\n", count, getMaxDevice());
  for (int i = 0; i < count; ++i) {
    float a = 0, b = 0;
    if (usbPort((unsigned char)i) && getPressure(&a, &b)) {
      printf("gauge %d: serial %d, pressures %s\n", i, getSerialNumber(),
             a > -1000 && a < 1000 && b > -1000 && b < 1000 ? "in range" : "out of range");
    } else {
      printText("failed:", getErrorMessage());
      ++failures;
    }
  }
  /* The last gauge again, through a handle of its own while gauge 0 is selected. */
  OpenFn gaugeOpen = AS(OpenFn, byOrdinal(95));
  HandleCountFn gaugeSerial = AS(HandleCountFn, GetProcAddress(library, "QX5GaugeGetSerialNumber"));
  if (!gaugeOpen || !gaugeSerial || count < 1 || !usbPort(0)) {
    printf("no handle export, or no gauge\n");
    ++failures;
    return;
  }
  const int32_t handle = gaugeOpen(count - 1);
  printf("gauge %d through handle %d: serial %d\n", count - 1, handle, gaugeSerial(handle));
}

int main(int argc, char** argv) {
  setvbuf(stdout, NULL, _IONBF, 0);
  library = LoadLibraryA("QX5DLL.DLL");
  if (!library) {
    printf("cannot load QX5DLL.DLL: error %lu\n", GetLastError());
    return 2;
  }
  if (argc == 3 && strcmp(argv[1], "hold") == 0) {
    BoolFn init = AS(BoolFn, GetProcAddress(library, "QX5Init"));
    printf("holding: QX5Init %s\n", init && init() ? "true" : "false");
    Sleep((DWORD)atoi(argv[2]) * 1000);
    return 0;
  }
  if (argc != 2) {
    printf("usage: client TABLE | client hold SECONDS\n");
    return 2;
  }
  const int checked = checkTable(argv[1]);
  printf("%d exports bound by name and ordinal\n", checked);
  session();
  FreeLibrary(library);
  printf("%s\n", failures ? "FAILED" : "ok");
  return failures ? 1 : 0;
}
