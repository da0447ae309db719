#pragma once

namespace skyloom {

// An instant as seconds since 1970-01-01T00:00:00Z (negative before it).
// Every date comparison in the program is a plain numeric comparison.
using Date = double;

// The current time with sub-second precision.
Date currentDate();

} // namespace skyloom
