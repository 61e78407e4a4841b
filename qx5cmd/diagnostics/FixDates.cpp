#include "qx5cmd/diagnostics/FixDates.h"

#include "qx5cmd/core/LibraryBinding.h"
#include "qx5cmd/core/Session.h"
#include "qx5cmd/diagnostics/RequiredExports.h"

namespace qx5cmd {

bool aFixDates::bind() {
  return requireExports({{"SetCustomDate", binding().SetCustomDate.get()},
                         {"SetSerialNumber", binding().SetSerialNumber.get()}});
}

bool aFixDates::run() {
  binding().SetCustomDate->call();
  binding().SetSerialNumber->call(kFixedSerialNumber);
  return true;
}

}  // namespace qx5cmd
