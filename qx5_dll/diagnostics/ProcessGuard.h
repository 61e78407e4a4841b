// The guard against a second process using the library: two processes talking to the same
// gauges would interleave their packets and read each other's replies.
#pragma once

#include <string>

namespace qx5 {

// Number of other processes that have a file named `libraryFileName` mapped (case-sensitive),
// each named in the error text; -1 when the processes cannot be listed.
int CountQX5DLL(const std::string& libraryFileName);
// The same for the library's own file name.
int CountQX5DLL();

// The file name the guard looks for. Tests that link the library's code statically set one
// no other process has, so parallel runs of the same test program do not refuse each other;
// an empty name goes back to the module's own file name.
void setGuardedFileName(const std::string& fileName);

// Tests that run the library's code in their own process and are not about the guard let it see
// this process alone: it then counts no one without scanning every process on the machine,
// which under Wine takes a tenth of a second, and such suites initialise the library hundreds
// of times. The guard runs and logs as always; false gives the full scan back.
void setGuardSeesThisProcessOnly(bool only);

}  // namespace qx5
