#include "healing/healing_config.h"

namespace pelorix::healing {

std::vector<std::string> default_strategies() {
  return {"data_testid", "aria_label", "identifier", "title", "xpath", "position", "visual_vlm"};
}

ConfigSlot GLOBAL_CONFIG;

}  // namespace pelorix::healing
