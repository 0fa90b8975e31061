// The right-click helper's stand-in: records what it receives and ends when asked to stop.
#include "window_stand_in.h"

int main() {
  return qv::tools::runWindowStandIn({"TAltKeyForm", "Right Click Button", "altkey.log", 0x5BEu});
}
