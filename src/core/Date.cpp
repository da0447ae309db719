#include "core/Date.h"

#include <chrono>

namespace skyloom {

Date currentDate() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

} // namespace skyloom
