// Ctrl+C and SIGTERM: the handler says "<.. break ..>" and raises a flag that every loop and
// every wait polls, so the run winds down and still prints its statistics.
#pragma once

namespace qx5cmd {

void installBreakHandler();
bool breakRequested();
// For tests and for code that ends a run on its own.
void requestBreak();
void clearBreakRequest();

}  // namespace qx5cmd
