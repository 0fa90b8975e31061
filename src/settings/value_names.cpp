#include "settings/value_names.h"

namespace qv::settings {

std::string comIrqName(int n) { return "COM" + std::to_string(n) + "_IRQ"; }
std::string comAddrName(int n) { return "COM" + std::to_string(n) + "_ADDR"; }

}  // namespace qv::settings
