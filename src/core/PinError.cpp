#include "core/PinError.h"

#include "core/PlatformWording.h"
#include "core/Translate.h"

#include <system_error>

namespace skyloom {
namespace {

const char* sourceText(PinError::Kind kind) {
    switch (kind) {
    case PinError::Kind::system:
        return SKYLOOM_TRANSLATE_NOOP("Skyloom", "알 수 없는 오류예요. (%d)");
    case PinError::Kind::notAFolder:
        return SKYLOOM_TRANSLATE_NOOP("Skyloom", "폴더만 고정할 수 있어요.");
    case PinError::Kind::alreadyPinned:
        return SKYLOOM_TRANSLATE_NOOP("Skyloom", "이미 고정된 폴더예요.");
    case PinError::Kind::notFound:
        return SKYLOOM_TRANSLATE_NOOP("Skyloom", "폴더를 찾을 수 없어요.");
    case PinError::Kind::notOwner:
        return SKYLOOM_TRANSLATE_NOOP("Skyloom",
                                      "이 폴더를 바꿀 권한이 없어요. '다시 허용'으로 폴더를 "
                                      "허용하거나, 내 계정의 폴더인지 확인하세요.");
    case PinError::Kind::unsupportedVolume:
        return SKYLOOM_TRANSLATE_NOOP("Skyloom",
                                      "이 디스크는 '추가된 날짜'를 지원하지 않아요. Mac 내장 "
                                      "디스크에 있는 폴더를 고정하세요.");
    case PinError::Kind::iCloudManaged:
        return SKYLOOM_TRANSLATE_NOOP(
            "Skyloom", "iCloud Drive에 있는 폴더는 고정할 수 없어요. 동기화가 날짜를 바꿀 "
                       "수 있어요. 다운로드처럼 iCloud 밖에 있는 폴더를 고정하세요.");
    case PinError::Kind::locked:
        return SKYLOOM_TRANSLATE_NOOP("Skyloom",
                                      "잠긴 폴더예요. Finder의 정보 가져오기에서 '잠김'을 끈 "
                                      "뒤 다시 시도하세요.");
    }
    return "";
}

// The texts for a volume that takes no date for a reason other than its date
// range, where this desktop tells the reasons apart.
const char* volumeProblemText(PinError::VolumeProblem problem) {
    if (!platform::namesVolumeProblems)
        return nullptr;
    switch (problem) {
    case PinError::VolumeProblem::dateRange:
        return nullptr;
    case PinError::VolumeProblem::readOnly:
        return SKYLOOM_TRANSLATE_NOOP(
            "Skyloom", "읽기 전용으로 연결된 디스크예요. 폴더의 날짜를 바꿀 수 없어요. 쓰기 "
                       "가능하게 다시 연결하거나(예: 'sudo mount -o remount,rw 연결 위치') "
                       "다른 디스크에 있는 폴더를 고정하세요.");
    case PinError::VolumeProblem::virtualFileSystem:
        return SKYLOOM_TRANSLATE_NOOP(
            "Skyloom", "시스템이 만들어 보여 주는 가상 폴더예요(/proc, /sys 등). 날짜를 "
                       "저장하지 않아 고정할 수 없어요. 내 파일이 있는 폴더를 고정하세요.");
    case PinError::VolumeProblem::network:
        return SKYLOOM_TRANSLATE_NOOP(
            "Skyloom", "네트워크 디스크에 있는 폴더예요. 다른 컴퓨터가 날짜를 바꿀 수 있어 "
                       "고정할 수 없어요. 이 컴퓨터의 디스크에 있는 폴더를 고정하세요.");
    }
    return nullptr;
}

const char* messageKey(PinError::Kind kind, PinError::VolumeProblem problem) {
    if (kind == PinError::Kind::unsupportedVolume)
        if (const char* text = volumeProblemText(problem))
            return text;
    return sourceText(kind);
}

} // namespace

std::string PinError::errorDescription() const {
    if (kind_ == Kind::system)
        return translate(sourceText(kind_), std::to_string(code_));
    return translate(messageKey(kind_, problem_));
}

const char* PinError::what() const noexcept {
    return messageKey(kind_, problem_);
}

std::string errorDescription(const std::exception& error) {
    if (auto pinError = dynamic_cast<const PinError*>(&error))
        return pinError->errorDescription();
    if (auto systemError = dynamic_cast<const std::system_error*>(&error))
        return systemError->code().message();
    return error.what();
}

} // namespace skyloom
