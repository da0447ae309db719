#include "core/PinStatusText.h"

#include "core/Translate.h"
#include "core/store/PinnedFolder.h"

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

} // namespace skyloom
