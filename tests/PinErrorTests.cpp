#include "core/engine/PinError.h"

#include <gtest/gtest.h>

#include <system_error>

using namespace skyloom;

TEST(PinError, MessagesAreTheExactTexts) {
    EXPECT_EQ(PinError::system(5).errorDescription(), "알 수 없는 오류예요. (5)");
    EXPECT_EQ(PinError::system(-3).errorDescription(), "알 수 없는 오류예요. (-3)");
    EXPECT_EQ(PinError::notFound().errorDescription(), "폴더를 찾을 수 없어요.");
    // Texts that name the Mac read in the Linux wording here.
    EXPECT_EQ(PinError::locked().errorDescription(),
              "잠긴 폴더예요. 터미널에서 'sudo chattr -i 폴더'로 변경 불가 속성을 끈 뒤 다시 "
              "시도하세요.");
    EXPECT_EQ(errorDescription(PinError::notOwner()),
              "이 폴더를 바꿀 권한이 없어요. 내 계정이 소유한 폴더인지, 읽을 권한이 있는지 "
              "확인하세요.");
    std::system_error platformError(ENOENT, std::generic_category());
    EXPECT_EQ(errorDescription(platformError), platformError.code().message());
}

TEST(PinError, EqualityComparesCaseAndCode) {
    EXPECT_EQ(PinError::system(5), PinError::system(5));
    EXPECT_NE(PinError::system(5), PinError::system(1));
    EXPECT_NE(PinError::system(0), PinError::notFound());
    EXPECT_EQ(PinError::notFound(), PinError::notFound());
    EXPECT_NE(PinError::notFound(), PinError::notOwner());
    EXPECT_EQ(PinError::locked().code(), 0);
}
