// orvendale-fs --check: the configuration read as the service would read it, each rack's
// port opened and closed, and what was understood printed for a person, without the
// simulator. The service's own run is untouched by it.
#pragma once

#include <cstdint>
#include <ostream>

// Prints the report to `out`; returns 0 when everything is usable, 1 otherwise.
int checkConfiguration(std::ostream& out, std::int32_t baudRate);
