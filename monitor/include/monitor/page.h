// The monitor's page: HTML, CSS and JavaScript in one document, built into the program.
#pragma once

#include <string>

namespace monitor {

const std::string& pageHtml();

}  // namespace monitor
