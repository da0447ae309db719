#pragma once

#include "core/PinError.h"

#include <gtest/gtest.h>

namespace skyloom::test {

// The PinError `call` throws; a test failure when it throws none.
template <typename Call> PinError errorOf(Call call) {
    try {
        call();
    } catch (const PinError& error) {
        return error;
    }
    ADD_FAILURE() << "no PinError thrown";
    return PinError::system(0);
}

} // namespace skyloom::test
