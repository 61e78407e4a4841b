#!/usr/bin/env python3
"""Static checks of a 32-bit QX5DLL.DLL, for machines that cannot run 32-bit code.

check_dll.py DLL EXPORT_TABLE HEADER [OBJDUMP]

- exactly the table's built exports, under their names and ordinals, and nothing else;
- no load-time import of SetupAPI, WinUSB or PSAPI (bound at run time) and no MinGW runtime DLL;
- every export pops exactly its argument bytes on return (`ret $N`, N from its prototype in the
  public header): the stdcall contract an application relies on.
Prints one line per fault and exits 1 when there is any.
"""
import re
import subprocess
import sys

RUNTIME_BOUND = {"setupapi.dll", "winusb.dll", "psapi.dll"}
# What a user's Windows has; anything else would have to be copied along with the DLL.
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "oleaut32.dll", "user32.dll", "advapi32.dll",
               "ole32.dll"}
EIGHT_BYTE_TYPES = re.compile(r"\b(double|int64_t|uint64_t|long\s+long|VARIANT)\b(?!\s*\*)")


def expected_exports(table_path):
    """{exported name: (ordinal, C name)} for every built export with an ordinal."""
    exports = {}
    for line in open(table_path, encoding="utf-8"):
        fields = line.split()
        if not fields or fields[0].startswith("#") or fields[2] != "yes" or fields[0] == "-":
            continue
        ordinal, name = int(fields[0]), fields[1]
        exported = fields[6] if len(fields) > 4 and fields[4] == "c++" else name
        exports[exported] = (ordinal, name)
    return exports


def argument_bytes(header_paths):
    """{C name: bytes its arguments take on a 32-bit stack}, from the public headers (the paths
    joined by ':': qx5dll.h and the generated qx5dll_gauge.h it includes)."""
    text = "".join(open(path, encoding="utf-8").read() for path in header_paths.split(":"))
    text = re.sub(r"/\*.*?\*/", "", text, flags=re.S)
    structs = set(re.findall(r"}\s*(\w+)\s*;", text))
    sizes = {}
    for match in re.finditer(r"(\w+)\s+QX5_CALL\s+(\w+)\s*\(([^)]*)\)", text):
        result, name, params = match.group(1), match.group(2), match.group(3).strip()
        # A structure returned by value travels through a hidden pointer the callee pops too.
        total = 4 if result in structs else 0
        if params in ("", "void"):
            sizes[name] = total
            continue
        for param in params.split(","):
            total += 8 if EIGHT_BYTE_TYPES.search(param) else 4
        sizes[name] = total
    return sizes


def run(objdump, *args):
    return subprocess.run([objdump, *args], check=True, capture_output=True, text=True).stdout


def exported_ordinals(private_headers):
    """{exported name: ordinal} and the set of ordinals with an address, from `objdump -p`."""
    base = int(re.search(r"Ordinal Base\s+(\d+)", private_headers).group(1))
    names = {}
    section = re.search(r"\[Ordinal/Name Pointer\] Table\n(.*?)\n\n", private_headers, re.S)
    for index, name in re.findall(r"\[\s*(\d+)\]\s+(\S+)", section.group(1) if section else ""):
        names[name] = int(index) + base
    addresses = {}
    section = re.search(r"Export Address Table -- Ordinal Base \d+\n(.*?)\n\n", private_headers,
                        re.S)
    for ordinal, rva in re.findall(r"\+base\[\s*(\d+)\]\s+([0-9a-f]+) Export RVA",
                                   section.group(1) if section else ""):
        if int(rva, 16):
            addresses[int(ordinal)] = int(rva, 16)
    return names, addresses


def imported_dlls(private_headers):
    return [name.lower() for name in re.findall(r"DLL Name: (\S+)", private_headers)]


def returns_by_function(disassembly):
    """{start address: `ret` pops of the function there and of its out-of-line (.cold) part}.
    A function that ends in a tail call (an export whose body takes what it was given) has the
    pops of the function it jumps to."""
    label = re.compile(r"^([0-9a-f]+) <(.+)>:$")
    ret = re.compile(r"\tret\s*(\$0x([0-9a-f]+))?\s*$")
    jump = re.compile(r"\tjmp\s+([0-9a-f]+) <([^>+]+)>\s*$")
    by_name, starts, current, tail_calls = {}, {}, None, {}
    for line in disassembly.splitlines():
        found = label.match(line)
        if found:
            current = found.group(2)
            if current.endswith(".cold"):
                current = current[:-len(".cold")]
            else:
                starts[int(found.group(1), 16)] = current
            by_name.setdefault(current, [])
            continue
        popped = ret.search(line) if current else None
        if popped:
            by_name[current].append(int(popped.group(2), 16) if popped.group(2) else 0)
        called = jump.search(line) if current else None
        if called and called.group(2) != current:
            tail_calls.setdefault(current, called.group(2))
    return {address: by_name[name] or by_name.get(tail_calls.get(name), [])
            for address, name in starts.items()}


def main():
    dll, table, header = sys.argv[1:4]
    objdump = sys.argv[4] if len(sys.argv) > 4 else "i686-w64-mingw32-objdump"
    faults = []
    expected = expected_exports(table)
    arguments = argument_bytes(header)
    headers = run(objdump, "-p", dll)
    names, addresses = exported_ordinals(headers)

    for name, (ordinal, _) in sorted(expected.items(), key=lambda item: item[1][0]):
        if name not in names:
            faults.append(f"missing export {name} (ordinal {ordinal})")
        elif names[name] != ordinal:
            faults.append(f"{name} has ordinal {names[name]}, expected {ordinal}")
    for name in sorted(set(names) - set(expected)):
        faults.append(f"unexpected export {name} (ordinal {names[name]})")
    wanted_ordinals = {ordinal for ordinal, _ in expected.values()}
    for ordinal in sorted(set(addresses) - wanted_ordinals):
        faults.append(f"unexpected export by ordinal {ordinal}")

    for dll_name in imported_dlls(headers):
        if dll_name in RUNTIME_BOUND:
            faults.append(f"{dll_name} is imported at load time; it must be bound at run time")
        elif dll_name not in SYSTEM_DLLS:
            faults.append(f"{dll_name} is needed at load time and is not part of Windows")

    image_base = int(re.search(r"ImageBase\s+([0-9a-f]+)", headers).group(1), 16)
    disassembly = run(objdump, "-d", dll)
    returns_at = returns_by_function(disassembly)
    checked = 0
    for name, (ordinal, c_name) in sorted(expected.items()):
        if c_name not in arguments:
            faults.append(f"{c_name}: no prototype in the header")
            continue
        if ordinal not in addresses:
            continue  # reported above
        returns = returns_at.get(image_base + addresses[ordinal])
        if not returns:
            faults.append(f"{name}: no return instruction found")
            continue
        wrong = sorted({popped for popped in returns if popped != arguments[c_name]})
        if wrong:
            faults.append(f"{name}: returns popping {wrong} bytes, its arguments take "
                          f"{arguments[c_name]}")
        checked += 1

    for fault in faults:
        print("FAULT:", fault)
    print(f"{len(expected)} exports, {checked} stdcall epilogues checked, {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
