#include "core/PlatformWording.h"
#include "core/Translate.h"

namespace skyloom::platform {

namespace {

// The Korean texts speak of Finder, the Mac, Get Info, Services, the Dock,
// iCloud and the date added. Here the date is the access time, the file
// manager stands in for Finder, the tray or panel for the menu bar, and
// `chattr -i` for the Locked box. The command line has no re-grant button,
// so the permission text says what to check instead. Keys and wordings are
// both marked, so that each has its translation.
constexpr Wording linuxWordings[] = {
    {SKYLOOM_TRANSLATE_NOOP(
         "Skyloom",
         "이 폴더를 바꿀 권한이 없어요. '다시 허용'으로 폴더를 허용하거나, 내 계정의 폴더인지 "
         "확인하세요."),
     SKYLOOM_TRANSLATE_NOOP("Skyloom", "이 폴더를 바꿀 권한이 없어요. 내 계정이 소유한 "
                                       "폴더인지, 읽을 권한이 있는지 확인하세요.")},
    {SKYLOOM_TRANSLATE_NOOP(
         "Skyloom",
         "이 디스크는 '추가된 날짜'를 지원하지 않아요. Mac 내장 디스크에 있는 폴더를 고정하세요."),
     SKYLOOM_TRANSLATE_NOOP("Skyloom",
                            "이 디스크는 '접근한 날짜'를 2100년으로 저장하지 못해요. 이 "
                            "컴퓨터의 내장 디스크(ext4, btrfs 등)에 있는 폴더를 고정하세요.")},
    {SKYLOOM_TRANSLATE_NOOP("Skyloom", "iCloud Drive에 있는 폴더는 고정할 수 없어요. 동기화가 "
                                       "날짜를 바꿀 수 있어요. 다운로드처럼 "
                                       "iCloud 밖에 있는 폴더를 고정하세요."),
     SKYLOOM_TRANSLATE_NOOP("Skyloom", "동기화 프로그램이 관리하는 폴더는 고정할 수 없어요. "
                                       "동기화가 날짜를 바꿀 수 있어요. 동기화하지 않는 "
                                       "폴더를 고정하세요.")},
    {SKYLOOM_TRANSLATE_NOOP(
         "Skyloom", "잠긴 폴더예요. Finder의 정보 가져오기에서 '잠김'을 끈 뒤 다시 시도하세요."),
     SKYLOOM_TRANSLATE_NOOP("Skyloom", "잠긴 폴더예요. 터미널에서 'sudo chattr -i 폴더'로 "
                                       "변경 불가 속성을 끈 뒤 다시 시도하세요.")},
    {SKYLOOM_TRANSLATE_NOOP("Skyloom", "목록에 없던 폴더의 '추가된 날짜'를 지금으로 되돌렸어요: "),
     SKYLOOM_TRANSLATE_NOOP("Skyloom", "목록에 없던 폴더의 '접근한 날짜'를 지금으로 되돌렸어요: ")},
    {SKYLOOM_TRANSLATE_NOOP("Skyloom", "Finder에서 맨 위에 둘 폴더를 고르세요."),
     SKYLOOM_TRANSLATE_NOOP("Skyloom", "파일 관리자 목록 맨 위에 둘 폴더를 고르세요.")},
    {SKYLOOM_TRANSLATE_NOOP(
         "Skyloom",
         "저장된 고정 목록을 읽지 못해 새로 시작했어요. 2100년으로 남은 폴더는 Finder 우클릭 › "
         "Skyloom 고정 해제로 되돌릴 수 있어요."),
     SKYLOOM_TRANSLATE_NOOP("Skyloom",
                            "저장된 고정 목록을 읽지 못해 새로 시작했어요. 2100년으로 남은 "
                            "폴더는 파일 관리자의 우클릭 메뉴 › Skyloom 고정 해제나 'skyloom "
                            "unpin 폴더'로 되돌릴 수 있어요.")},
    {SKYLOOM_TRANSLATE_NOOP("Skyloom",
                            "Finder에서 '추가된 날짜' 최신순으로 정렬하면 맨 위에 보여요."),
     SKYLOOM_TRANSLATE_NOOP("Skyloom",
                            "파일 관리자에서 '접근한 날짜' 최신순으로 정렬하면 맨 위에 보여요.")},
    // No chooser can give access here: the row checks the folder again once
    // the owner, the permissions or the mount have been changed.
    {SKYLOOM_TRANSLATE_NOOP("Skyloom", "다시 허용"),
     SKYLOOM_TRANSLATE_NOOP("Skyloom", "다시 확인")},
    {SKYLOOM_TRANSLATE_NOOP("Skyloom", "Finder에서 보기"),
     SKYLOOM_TRANSLATE_NOOP("Skyloom", "파일 관리자에서 보기")},
    {SKYLOOM_TRANSLATE_NOOP(
         "Skyloom", "잠긴 폴더라 고정이 풀렸을 수 있어요 — 정보 가져오기에서 '잠김'을 끄세요"),
     SKYLOOM_TRANSLATE_NOOP(
         "Skyloom", "잠긴 폴더라 고정이 풀렸을 수 있어요 — 'sudo chattr -i'로 잠금을 푸세요")},
    {SKYLOOM_TRANSLATE_NOOP("Skyloom", "자주 쓰는 폴더를 Finder 목록 맨 위에 고정해요."),
     SKYLOOM_TRANSLATE_NOOP("Skyloom", "자주 쓰는 폴더를 파일 관리자 목록 맨 위에 고정해요.")},
    {SKYLOOM_TRANSLATE_NOOP("Skyloom", "메뉴 막대의 핀 아이콘"),
     SKYLOOM_TRANSLATE_NOOP("Skyloom", "패널의 핀 아이콘")},
    {SKYLOOM_TRANSLATE_NOOP(
         "Skyloom",
         "화면 오른쪽 위 핀 아이콘에서 폴더를 고정하고 해제해요. Dock에는 나타나지 않아요."),
     SKYLOOM_TRANSLATE_NOOP("Skyloom", "패널(트레이)의 핀 아이콘에서 폴더를 고정하고 해제해요. "
                                       "창을 닫아도 Skyloom은 트레이에서 계속 실행돼요.")},
    {SKYLOOM_TRANSLATE_NOOP("Skyloom", "Finder에서 '추가된 날짜'로 정렬"),
     SKYLOOM_TRANSLATE_NOOP("Skyloom", "파일 관리자에서 '접근한 날짜'로 정렬")},
    {SKYLOOM_TRANSLATE_NOOP(
         "Skyloom",
         "보기 › 다음으로 정렬 › 추가된 날짜를 고르세요. 최신순일 때 고정한 폴더가 맨 위에 와요."),
     SKYLOOM_TRANSLATE_NOOP("Skyloom", "보기 메뉴나 목록의 열 제목에서 '접근한 날짜'(접근 시간)로 "
                                       "정렬하세요. 최신순일 때 고정한 폴더가 맨 위에 와요.")},
    {SKYLOOM_TRANSLATE_NOOP(
         "Skyloom",
         "고정은 폴더의 '추가된 날짜'를 2100년으로 바꿔서 해요. 해제하면 원래 날짜로 돌아가요."),
     SKYLOOM_TRANSLATE_NOOP("Skyloom", "고정은 폴더의 '접근한 날짜'를 2100년으로 바꿔서 "
                                       "해요. 해제하면 원래 날짜로 돌아가요.")},
    {SKYLOOM_TRANSLATE_NOOP(
         "Skyloom",
         "Finder로 돌아올 때마다 풀린 고정을 다시 걸어 주려면 Skyloom이 실행 중이어야 해요."),
     SKYLOOM_TRANSLATE_NOOP("Skyloom", "파일 관리자로 돌아올 때마다 풀린 고정을 다시 걸어 "
                                       "주려면 Skyloom이 실행 중이어야 해요.")},
    {SKYLOOM_TRANSLATE_NOOP("Skyloom", "모든 폴더의 '추가된 날짜'가 원래대로 돌아가요."),
     SKYLOOM_TRANSLATE_NOOP("Skyloom", "모든 폴더의 '접근한 날짜'가 원래대로 돌아가요.")},
    {SKYLOOM_TRANSLATE_NOOP(
         "Skyloom",
         "Skyloom을 지우기 전에 눌러 주세요. 그냥 지우면 고정한 폴더의 '추가된 날짜'가 2100년으로 "
         "남아요."),
     SKYLOOM_TRANSLATE_NOOP("Skyloom", "Skyloom을 지우기 전에 눌러 주세요. 그냥 지우면 고정한 "
                                       "폴더의 '접근한 날짜'가 2100년으로 남아요.")},
    {SKYLOOM_TRANSLATE_NOOP("Skyloom", "'추가된 날짜'를 미래로 바꿔요"),
     SKYLOOM_TRANSLATE_NOOP("Skyloom", "'접근한 날짜'를 미래로 바꿔요")},
    {SKYLOOM_TRANSLATE_NOOP(
         "Skyloom",
         "고정한 폴더는 '추가된 날짜'가 2100년으로 보여요. 해제하면 원래 날짜로 돌아가요."),
     SKYLOOM_TRANSLATE_NOOP("Skyloom", "고정한 폴더는 '접근한 날짜'가 2100년으로 보여요. "
                                       "해제하면 원래 날짜로 돌아가요.")},
    {SKYLOOM_TRANSLATE_NOOP("Skyloom",
                            "Finder에서 '추가된 날짜'로 정렬하세요. 오래된 순이면 맨 아래로 가요."),
     // Each file manager names the column its own way; these are the names
     // their list views show.
     SKYLOOM_TRANSLATE_NOOP("Skyloom",
                            "파일 관리자의 목록 보기에서 접근 시간 열로 정렬하세요. "
                            "Dolphin·Nemo·Caja는 '접근한 날짜', Nautilus는 '접근 시각', "
                            "Thunar는 '엑세스한 날짜' 열이에요. 오래된 순이면 맨 아래로 가요.")},
    {SKYLOOM_TRANSLATE_NOOP("Skyloom", "Finder에서 바로 고정"),
     SKYLOOM_TRANSLATE_NOOP("Skyloom", "파일 관리자에서 바로 고정")},
    {SKYLOOM_TRANSLATE_NOOP(
         "Skyloom", "폴더를 우클릭하고 '서비스'에서 'Skyloom으로 맨 위에 고정'을 고르세요."),
     SKYLOOM_TRANSLATE_NOOP("Skyloom",
                            "폴더를 우클릭하고 'Skyloom으로 맨 위에 고정'을 고르세요. 파일 "
                            "관리자에 따라 '동작'이나 '스크립트' 메뉴 안에 있어요.")},
};

} // namespace

// A read-only ext4 disk and /proc fail for different reasons than a FAT stick;
// each gets its own way out.
const bool namesVolumeProblems = true;

std::span<const Wording> wordings() {
    return linuxWordings;
}

} // namespace skyloom::platform
