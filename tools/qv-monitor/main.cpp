// The monitor program's stand-in: records every notification it is sent.
#include "window_stand_in.h"

int main() {
  return qv::tools::runWindowStandIn({"TWatchForm", "Quorvane Monitor", "monitor.log", std::nullopt});
}
