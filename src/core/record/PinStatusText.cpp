#include "core/record/PinStatusText.h"

#include "core/Translate.h"
#include "core/platform/FolderAccess.h"
#include "core/record/PinnedFolder.h"

namespace skyloom {

PinStatus pinStatus(bool isMissing, bool needsAccess, bool isLocked) {
    if (isMissing)
        return PinStatus::missing;
    if (needsAccess)
        return PinStatus::needsAccess;
    if (isLocked)
        return PinStatus::locked;
    return PinStatus::normal;
}

PinStatus pinStatus(const PinnedFolder& pin) {
    return pinStatus(pin.isMissing(), pin.needsAccess(), pin.isLocked());
}

std::string pinStatusText(PinStatus status) {
    switch (status) {
    case PinStatus::missing:
        return translate(
            SKYLOOM_TRANSLATE_NOOP("Skyloom", "찾을 수 없음 — 목록에서 지울 수 있어요"));
    case PinStatus::needsAccess:
        return translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "접근 권한이 필요해요"));
    case PinStatus::locked:
        return translate(SKYLOOM_TRANSLATE_NOOP(
            "Skyloom", "잠긴 폴더라 고정이 풀렸을 수 있어요 — 정보 가져오기에서 '잠김'을 끄세요"));
    case PinStatus::normal:
        break;
    }
    return {};
}

std::string pinStatusText(const PinnedFolder& pin) {
    const PinStatus status = pinStatus(pin);
    // Removing this record would strand the folder in 2100: say that its
    // date goes back by itself instead of inviting the removal.
    if (status == PinStatus::missing && pin.isUnpinPending())
        return translate(
            SKYLOOM_TRANSLATE_NOOP("Skyloom", "찾을 수 없음 — 다시 연결되면 원래 날짜로 되돌려요"));
    if (status != PinStatus::needsAccess)
        return pinStatusText(status);
    const auto access = platform::folderAccess(pin.path());
    switch (access.problem) {
    case platform::AccessProblem::notOwner:
        return translate(SKYLOOM_TRANSLATE_NOOP("Skyloom",
                                                "%1 사용자의 폴더라 날짜를 바꿀 수 없어요 — "
                                                "소유자에게 맡기거나 'sudo chown'으로 내 "
                                                "계정으로 바꾸세요"),
                         access.owner);
    case platform::AccessProblem::noPermission:
        return translate(SKYLOOM_TRANSLATE_NOOP("Skyloom",
                                                "이 폴더까지 들어갈 권한이 없어요 — 위 폴더의 "
                                                "소유자가 'chmod'로 권한을 주어야 해요"));
    case platform::AccessProblem::readOnly:
        return translate(SKYLOOM_TRANSLATE_NOOP("Skyloom",
                                                "읽기 전용으로 연결된 디스크예요 — 쓰기 가능하게 "
                                                "다시 연결한 뒤 '다시 확인'을 누르세요"));
    case platform::AccessProblem::none:
        break;
    }
    return pinStatusText(status);
}

} // namespace skyloom
