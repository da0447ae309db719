<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ko_KR">
<context>
    <name>Skyloom</name>
    <message>
        <source>알 수 없는 오류예요. (%d)</source>
        <translation>An unknown error occurred. (%d)</translation>
    </message>
    <message>
        <source>폴더만 고정할 수 있어요.</source>
        <translation>Only folders can be pinned.</translation>
    </message>
    <message>
        <source>이미 고정된 폴더예요.</source>
        <translation>This folder is already pinned.</translation>
    </message>
    <message>
        <source>폴더를 찾을 수 없어요.</source>
        <translation>Folder not found.</translation>
    </message>
    <message>
        <source>이 폴더를 바꿀 권한이 없어요. &apos;다시 허용&apos;으로 폴더를 허용하거나, 내 계정의 폴더인지 확인하세요.</source>
        <translation>You don&apos;t have permission to change this folder. Allow the folder with &apos;Allow Again&apos;, or check that it belongs to your account.</translation>
    </message>
    <message>
        <source>이 디스크는 &apos;추가된 날짜&apos;를 지원하지 않아요. Mac 내장 디스크에 있는 폴더를 고정하세요.</source>
        <translation>This disk doesn&apos;t support &apos;Date Added&apos;. Pin a folder on the Mac&apos;s internal disk.</translation>
    </message>
    <message>
        <source>iCloud Drive에 있는 폴더는 고정할 수 없어요. 동기화가 날짜를 바꿀 수 있어요. 다운로드처럼 iCloud 밖에 있는 폴더를 고정하세요.</source>
        <translation>Folders in iCloud Drive can&apos;t be pinned, because syncing can change their dates. Pin a folder outside iCloud, such as Downloads.</translation>
    </message>
    <message>
        <source>잠긴 폴더예요. Finder의 정보 가져오기에서 &apos;잠김&apos;을 끈 뒤 다시 시도하세요.</source>
        <translation>This folder is locked. Turn off &apos;Locked&apos; in Finder&apos;s Get Info, then try again.</translation>
    </message>
    <message>
        <source>이 폴더를 바꿀 권한이 없어요. 내 계정이 소유한 폴더인지, 읽을 권한이 있는지 확인하세요.</source>
        <translation>You don&apos;t have permission to change this folder. Check that your account owns it and can read it.</translation>
    </message>
    <message>
        <source>이 디스크는 &apos;접근한 날짜&apos;를 2100년으로 저장하지 못해요. 이 컴퓨터의 내장 디스크(ext4, btrfs 등)에 있는 폴더를 고정하세요.</source>
        <translation>This disk can&apos;t store an access date in 2100. Pin a folder on this computer&apos;s internal disk (ext4, btrfs and the like).</translation>
    </message>
    <message>
        <source>동기화 프로그램이 관리하는 폴더는 고정할 수 없어요. 동기화가 날짜를 바꿀 수 있어요. 동기화하지 않는 폴더를 고정하세요.</source>
        <translation>Folders managed by a sync program can&apos;t be pinned, because syncing can change their dates. Pin a folder that isn&apos;t synced.</translation>
    </message>
    <message>
        <source>잠긴 폴더예요. 터미널에서 &apos;sudo chattr -i 폴더&apos;로 변경 불가 속성을 끈 뒤 다시 시도하세요.</source>
        <translation>This folder is locked. Remove its immutable attribute in a terminal with &apos;sudo chattr -i FOLDER&apos;, then try again.</translation>
    </message>
    <message>
        <source>목록에 없던 폴더의 &apos;접근한 날짜&apos;를 지금으로 되돌렸어요: </source>
        <translation>Reset the access date to now for folders that weren&apos;t in the list: </translation>
    </message>
    <message>
        <source>파일 관리자 목록 맨 위에 둘 폴더를 고르세요.</source>
        <translation>Choose folders to keep at the top of the file manager&apos;s lists.</translation>
    </message>
    <message>
        <source>저장된 고정 목록을 읽지 못해 새로 시작했어요. 2100년으로 남은 폴더는 파일 관리자의 우클릭 메뉴 › Skyloom 고정 해제나 &apos;skyloom unpin 폴더&apos;로 되돌릴 수 있어요.</source>
        <translation>The saved pin list couldn&apos;t be read, so Skyloom started a new one. Folders still dated 2100 can be restored with the file manager&apos;s context menu › Unpin with Skyloom, or with &apos;skyloom unpin FOLDER&apos;.</translation>
    </message>
    <message>
        <source>파일 관리자에서 &apos;접근한 날짜&apos; 최신순으로 정렬하면 맨 위에 보여요.</source>
        <translation>Sort by access date, newest first, in the file manager to see them at the top.</translation>
    </message>
    <message>
        <source>파일 관리자에서 보기</source>
        <translation>Show in File Manager</translation>
    </message>
    <message>
        <source>잠긴 폴더라 고정이 풀렸을 수 있어요 — &apos;sudo chattr -i&apos;로 잠금을 푸세요</source>
        <translation>Locked, so the pin may have come undone — unlock it with &apos;sudo chattr -i&apos;</translation>
    </message>
    <message>
        <source>자주 쓰는 폴더를 파일 관리자 목록 맨 위에 고정해요.</source>
        <translation>Pin the folders you use most at the top of the file manager&apos;s lists.</translation>
    </message>
    <message>
        <source>패널의 핀 아이콘</source>
        <translation>The pin icon in the panel</translation>
    </message>
    <message>
        <source>패널(트레이)의 핀 아이콘에서 폴더를 고정하고 해제해요. 창을 닫아도 Skyloom은 트레이에서 계속 실행돼요.</source>
        <translation>Pin and unpin folders from the pin icon in the panel (tray). Skyloom keeps running in the tray when you close its windows.</translation>
    </message>
    <message>
        <source>파일 관리자에서 &apos;접근한 날짜&apos;로 정렬</source>
        <translation>Sort by access date in the file manager</translation>
    </message>
    <message>
        <source>보기 메뉴나 목록의 열 제목에서 &apos;접근한 날짜&apos;(접근 시간)로 정렬하세요. 최신순일 때 고정한 폴더가 맨 위에 와요.</source>
        <translation>Sort by access date (Accessed) from the View menu or a list column header. Newest first puts pinned folders at the top.</translation>
    </message>
    <message>
        <source>고정은 폴더의 &apos;접근한 날짜&apos;를 2100년으로 바꿔서 해요. 해제하면 원래 날짜로 돌아가요.</source>
        <translation>Pinning sets a folder&apos;s access date to 2100. Unpinning restores the original date.</translation>
    </message>
    <message>
        <source>파일 관리자로 돌아올 때마다 풀린 고정을 다시 걸어 주려면 Skyloom이 실행 중이어야 해요.</source>
        <translation>Skyloom must be running to re-apply undone pins each time you return to the file manager.</translation>
    </message>
    <message>
        <source>모든 폴더의 &apos;접근한 날짜&apos;가 원래대로 돌아가요.</source>
        <translation>Every folder&apos;s access date goes back to what it was.</translation>
    </message>
    <message>
        <source>Skyloom을 지우기 전에 눌러 주세요. 그냥 지우면 고정한 폴더의 &apos;접근한 날짜&apos;가 2100년으로 남아요.</source>
        <translation>Press this before removing Skyloom. Otherwise pinned folders keep an access date in 2100.</translation>
    </message>
    <message>
        <source>&apos;접근한 날짜&apos;를 미래로 바꿔요</source>
        <translation>Moves the access date into the future</translation>
    </message>
    <message>
        <source>고정한 폴더는 &apos;접근한 날짜&apos;가 2100년으로 보여요. 해제하면 원래 날짜로 돌아가요.</source>
        <translation>Pinned folders show an access date in 2100. Unpinning restores the original date.</translation>
    </message>
    <message>
        <source>파일 관리자에서 &apos;접근한 날짜&apos;로 정렬하세요. 오래된 순이면 맨 아래로 가요.</source>
        <translation>Sort by access date in the file manager. Oldest first puts them at the bottom.</translation>
    </message>
    <message>
        <source>파일 관리자에서 바로 고정</source>
        <translation>Pin right from the file manager</translation>
    </message>
    <message>
        <source>폴더를 우클릭하고 &apos;Skyloom으로 맨 위에 고정&apos;을 고르세요. 파일 관리자에 따라 &apos;동작&apos;이나 &apos;스크립트&apos; 메뉴 안에 있어요.</source>
        <translation>Right-click a folder and choose &apos;Pin to Top with Skyloom&apos;. Depending on the file manager it is in the &apos;Actions&apos; or &apos;Scripts&apos; menu.</translation>
    </message>
    <message>
        <source>Skyloom 앱을 찾을 수 없어요.</source>
        <translation>The Skyloom app can&apos;t be found.</translation>
    </message>
    <message>
        <source>실행 중인 Skyloom 앱이 답하지 않았어요. 앱을 다시 시작한 뒤 시도하세요.</source>
        <translation>The running Skyloom app didn&apos;t answer. Restart the app, then try again.</translation>
    </message>
    <message>
        <source>아무 폴더도 바꾸지 않았어요.</source>
        <translation>No folder was changed.</translation>
    </message>
    <message>
        <source>알 수 없는 옵션이에요: %1</source>
        <translation>Unknown option: %1</translation>
    </message>
    <message>
        <source>&apos;%1&apos; 명령은 폴더 경로를 받지 않아요.</source>
        <translation>The &apos;%1&apos; command takes no folder path.</translation>
    </message>
    <message>
        <source>알 수 없는 명령이에요: %1</source>
        <translation>Unknown command: %1</translation>
    </message>
    <message>
        <source>--version과 --login-item은 다른 명령이나 서로와 함께 쓸 수 없어요.</source>
        <translation>--version and --login-item go with no other command and not with each other.</translation>
    </message>
    <message>
        <source>사용법:
  skyloom                      앱을 시작해요
  skyloom --login-item         로그인할 때처럼 앱을 시작해요
  skyloom pin PATH...          폴더를 맨 위에 고정해요
  skyloom unpin PATH...        고정을 풀고 원래 날짜로 되돌려요
  skyloom list [--json]        고정된 폴더를 순서대로 보여 줘요
  skyloom remove PATH...       목록에서 지우고 원래 날짜로 되돌려요
  skyloom unpin-all            모든 고정을 풀어요
  skyloom reapply              풀린 고정을 다시 적용해요
  skyloom integrate [--remove] 파일 관리자 메뉴를 추가하거나 지워요
  skyloom --help | --version
</source>
        <translation>Usage:
  skyloom                      start the app
  skyloom --login-item         start the app as at login (no window)
  skyloom pin PATH...          pin folders at the top
  skyloom unpin PATH...        unpin and restore the original dates
  skyloom list [--json]        show the pinned folders in order
  skyloom remove PATH...       remove from the list and restore the original dates
  skyloom unpin-all            unpin everything
  skyloom reapply              re-apply pins that came undone
  skyloom integrate [--remove] add (or remove) the file-manager menu entries
  skyloom --help | --version
</translation>
    </message>
    <message>
        <source>명령줄을 이해하지 못했어요.</source>
        <translation>The command line couldn&apos;t be understood.</translation>
    </message>
    <message>
        <source>&apos;%1&apos; 명령에는 폴더 경로가 하나 이상 필요해요.</source>
        <translation>The &apos;%1&apos; command needs at least one folder path.</translation>
    </message>
    <message>
        <source>폴더 경로 앞에 pin이나 unpin 같은 명령을 적어 주세요.</source>
        <translation>Put a command such as pin or unpin before the folder paths.</translation>
    </message>
    <message>
        <source>파일 관리자 메뉴를 지웠어요:</source>
        <translation>Removed the file-manager menu entries:</translation>
    </message>
    <message>
        <source>파일 관리자 메뉴를 추가했어요:</source>
        <translation>Added the file-manager menu entries:</translation>
    </message>
    <message>
        <source>지울 파일 관리자 메뉴가 없어요.</source>
        <translation>There are no file-manager menu entries to remove.</translation>
    </message>
    <message>
        <source>고정된 폴더가 없어요</source>
        <translation>No pinned folders</translation>
    </message>
    <message>
        <source>고정 목록에 없는 폴더예요.</source>
        <translation>This folder isn&apos;t in the pin list.</translation>
    </message>
    <message>
        <source>답이 너무 커서 보낼 수 없어요.</source>
        <translation>The answer is too large to send.</translation>
    </message>
    <message>
        <source>Skyloom으로 맨 위에 고정</source>
        <translation>Pin to Top with Skyloom</translation>
    </message>
    <message>
        <source>Skyloom 고정 해제</source>
        <translation>Unpin with Skyloom</translation>
    </message>
    <message>
        <source>파일 관리자 메뉴를 쓰지 못했어요: %1</source>
        <translation>Couldn&apos;t write the file-manager menu entry: %1</translation>
    </message>
    <message>
        <source>Skyloom이 만들지 않은 파일이 있어 그대로 두었어요: %1</source>
        <translation>Left alone a file that Skyloom did not make: %1</translation>
    </message>
    <message>
        <source>Thunar 사용자 동작 파일이 손상되어 그대로 두었어요. 고친 뒤 다시 시도하세요: %1</source>
        <translation>Thunar&apos;s custom actions file is damaged and was left alone. Repair it, then try again: %1</translation>
    </message>
    <message>
        <source>찾을 수 없음 — 목록에서 지울 수 있어요</source>
        <translation>Not found — you can remove it from the list</translation>
    </message>
    <message>
        <source>접근 권한이 필요해요</source>
        <translation>Needs access</translation>
    </message>
    <message>
        <source>잠긴 폴더라 고정이 풀렸을 수 있어요 — 정보 가져오기에서 &apos;잠김&apos;을 끄세요</source>
        <translation>Locked, so the pin may have come undone — turn off &apos;Locked&apos; in Get Info</translation>
    </message>
    <message>
        <source>목록에 없던 폴더의 &apos;추가된 날짜&apos;를 지금으로 되돌렸어요: </source>
        <translation>Reset &apos;Date Added&apos; to now for folders that weren&apos;t in the list: </translation>
    </message>
    <message>
        <source>Skyloom으로 고정한 폴더가 아니라 바꾸지 않았어요: </source>
        <translation>Left unchanged, as Skyloom didn&apos;t pin them: </translation>
    </message>
    <message>
        <source>맨 위에 고정</source>
        <translation>Pin to Top</translation>
    </message>
    <message>
        <source>Finder에서 맨 위에 둘 폴더를 고르세요.</source>
        <translation>Choose folders to keep at the top in Finder.</translation>
    </message>
    <message>
        <source>허용</source>
        <translation>Allow</translation>
    </message>
    <message>
        <source>&apos;%1&apos; 폴더를 다시 고정하려면 이 폴더를 허용해 주세요.</source>
        <translation>Allow this folder to pin &apos;%1&apos; again.</translation>
    </message>
    <message>
        <source>저장된 고정 목록을 읽지 못해 새로 시작했어요. 2100년으로 남은 폴더는 Finder 우클릭 › Skyloom 고정 해제로 되돌릴 수 있어요.</source>
        <translation>The saved pin list couldn&apos;t be read, so Skyloom started a new one. Folders still dated 2100 can be restored with Finder&apos;s right-click › Unpin with Skyloom.</translation>
    </message>
    <message>
        <source>저장된 고정 목록을 열지 못해 임시 목록으로 시작했어요. 이번에 바꾼 내용은 종료하면 사라져요. 다른 Skyloom을 닫거나 저장 공간과 권한을 확인한 뒤 다시 실행해 주세요.</source>
        <translation>The saved pin list couldn&apos;t be opened, so Skyloom started with a temporary one. Changes made now are lost when it quits. Close any other Skyloom or check storage space and permissions, then start it again.</translation>
    </message>
    <message>
        <source>Finder에서 &apos;추가된 날짜&apos; 최신순으로 정렬하면 맨 위에 보여요.</source>
        <translation>Sort by Date Added, newest first, in Finder to see them at the top.</translation>
    </message>
    <message>
        <source>Finder에서 보기</source>
        <translation>Show in Finder</translation>
    </message>
    <message>
        <source>자주 쓰는 폴더를 Finder 목록 맨 위에 고정해요.</source>
        <translation>Pin the folders you use most at the top of Finder&apos;s lists.</translation>
    </message>
    <message>
        <source>메뉴 막대의 핀 아이콘</source>
        <translation>The pin icon in the menu bar</translation>
    </message>
    <message>
        <source>화면 오른쪽 위 핀 아이콘에서 폴더를 고정하고 해제해요. Dock에는 나타나지 않아요.</source>
        <translation>Pin and unpin folders from the pin icon at the top right of the screen. Skyloom doesn&apos;t appear in the Dock.</translation>
    </message>
    <message>
        <source>Finder에서 &apos;추가된 날짜&apos;로 정렬</source>
        <translation>Sort by Date Added in Finder</translation>
    </message>
    <message>
        <source>보기 › 다음으로 정렬 › 추가된 날짜를 고르세요. 최신순일 때 고정한 폴더가 맨 위에 와요.</source>
        <translation>Choose View › Sort By › Date Added. Newest first puts pinned folders at the top.</translation>
    </message>
    <message>
        <source>고정은 폴더의 &apos;추가된 날짜&apos;를 2100년으로 바꿔서 해요. 해제하면 원래 날짜로 돌아가요.</source>
        <translation>Pinning sets a folder&apos;s Date Added to 2100. Unpinning restores the original date.</translation>
    </message>
    <message>
        <source>Finder로 돌아올 때마다 풀린 고정을 다시 걸어 주려면 Skyloom이 실행 중이어야 해요.</source>
        <translation>Skyloom must be running to re-apply undone pins each time you return to Finder.</translation>
    </message>
    <message>
        <source>모든 폴더의 &apos;추가된 날짜&apos;가 원래대로 돌아가요.</source>
        <translation>Every folder&apos;s Date Added goes back to what it was.</translation>
    </message>
    <message>
        <source>Skyloom을 지우기 전에 눌러 주세요. 그냥 지우면 고정한 폴더의 &apos;추가된 날짜&apos;가 2100년으로 남아요.</source>
        <translation>Press this before deleting Skyloom. Otherwise pinned folders keep a Date Added in 2100.</translation>
    </message>
    <message>
        <source>&apos;추가된 날짜&apos;를 미래로 바꿔요</source>
        <translation>Moves Date Added into the future</translation>
    </message>
    <message>
        <source>고정한 폴더는 &apos;추가된 날짜&apos;가 2100년으로 보여요. 해제하면 원래 날짜로 돌아가요.</source>
        <translation>Pinned folders show a Date Added in 2100. Unpinning restores the original date.</translation>
    </message>
    <message>
        <source>Finder에서 &apos;추가된 날짜&apos;로 정렬하세요. 오래된 순이면 맨 아래로 가요.</source>
        <translation>Sort by Date Added in Finder. Oldest first puts them at the bottom.</translation>
    </message>
    <message>
        <source>Finder에서 바로 고정</source>
        <translation>Pin right from Finder</translation>
    </message>
    <message>
        <source>폴더를 우클릭하고 &apos;서비스&apos;에서 &apos;Skyloom으로 맨 위에 고정&apos;을 고르세요.</source>
        <translation>Right-click a folder and choose &apos;Pin to Top with Skyloom&apos; under &apos;Services&apos;.</translation>
    </message>
    <message>
        <source>업데이트 주소가 안전한 https 주소가 아니라 확인하지 않았어요.</source>
        <translation>The update address is not a secure https address, so it was not checked.</translation>
    </message>
    <message>
        <source>업데이트 정보가 너무 커서 받지 않았어요.</source>
        <translation>The update information was too large and was not downloaded.</translation>
    </message>
    <message>
        <source>업데이트 서버가 제때 답하지 않았어요.</source>
        <translation>The update server did not answer in time.</translation>
    </message>
    <message>
        <source>업데이트 서버가 오류로 답했어요 (HTTP %1).</source>
        <translation>The update server answered with an error (HTTP %1).</translation>
    </message>
    <message>
        <source>업데이트 서버에 연결하지 못했어요.</source>
        <translation>Could not connect to the update server.</translation>
    </message>
    <message>
        <source>업데이트 정보를 읽을 수 없어요.</source>
        <translation>The update information could not be read.</translation>
    </message>
    <message>
        <source>새 버전(%1)이 나왔어요.</source>
        <translation>A new version (%1) is available.</translation>
    </message>
    <message>
        <source>최신 버전을 쓰고 있어요.</source>
        <translation>You are using the latest version.</translation>
    </message>
    <message>
        <source>업데이트를 확인하지 못했어요.</source>
        <translation>Could not check for updates.</translation>
    </message>
    <message>
        <source>지금 쓰는 버전: %1</source>
        <translation>Your version: %1</translation>
    </message>
    <message>
        <source>Skyloom 업데이트</source>
        <translation>Skyloom Update</translation>
    </message>
    <message>
        <source>릴리스 노트 보기</source>
        <translation>Show Release Notes</translation>
    </message>
    <message>
        <source>Skyloom</source>
        <translation>Skyloom</translation>
    </message>
    <message>
        <source>고정된 폴더</source>
        <translation>Pinned Folders</translation>
    </message>
    <message>
        <source>설정</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>로그인 시 실행을 바꾸지 못했어요.</source>
        <translation>Couldn&apos;t change launching at login.</translation>
    </message>
    <message>
        <source>오류 닫기</source>
        <translation>Dismiss Error</translation>
    </message>
    <message>
        <source>알림 닫기</source>
        <translation>Dismiss Notice</translation>
    </message>
    <message>
        <source>Skyloom에 오신 걸 환영해요</source>
        <translation>Welcome to Skyloom</translation>
    </message>
    <message>
        <source>해제하면 원래대로</source>
        <translation>Unpinning puts it back</translation>
    </message>
    <message>
        <source>나중에</source>
        <translation>Later</translation>
    </message>
    <message>
        <source>폴더 고정…</source>
        <translation>Pin Folders…</translation>
    </message>
    <message>
        <source>맨 위에 둘 폴더를 고르거나 여기로 끌어 놓으세요.</source>
        <translation>Choose folders to keep at the top, or drag them here.</translation>
    </message>
    <message>
        <source>관리 창 열기</source>
        <translation>Open Manager Window</translation>
    </message>
    <message>
        <source>Skyloom 종료</source>
        <translation>Quit Skyloom</translation>
    </message>
    <message>
        <source>목록에서 지우기</source>
        <translation>Remove from List</translation>
    </message>
    <message>
        <source>고정 해제</source>
        <translation>Unpin</translation>
    </message>
    <message>
        <source>열기</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>로그인 시 실행</source>
        <translation>Launch at Login</translation>
    </message>
    <message>
        <source>모두 해제하고 원래 날짜로 되돌리기</source>
        <translation>Unpin All and Restore Original Dates</translation>
    </message>
    <message>
        <source>고정 관리</source>
        <translation>Pin Management</translation>
    </message>
    <message>
        <source>메뉴 넣기</source>
        <translation>Add Menu Entries</translation>
    </message>
    <message>
        <source>메뉴 빼기</source>
        <translation>Remove Menu Entries</translation>
    </message>
    <message>
        <source>파일 관리자 메뉴</source>
        <translation>File Manager Menu</translation>
    </message>
    <message>
        <source>폴더를 우클릭해 파일 관리자에서 바로 고정하고 해제하는 메뉴예요.</source>
        <translation>Menu entries for pinning and unpinning right from the file manager when you right-click a folder.</translation>
    </message>
    <message>
        <source>최신순 정렬에서 맨 위</source>
        <translation>At the top when sorted newest first</translation>
    </message>
    <message>
        <source>동작 방식</source>
        <translation>How It Works</translation>
    </message>
    <message>
        <source>버전</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>개인정보처리방침</source>
        <translation>Privacy Policy</translation>
    </message>
    <message>
        <source>지원</source>
        <translation>Support</translation>
    </message>
    <message>
        <source>업데이트 확인…</source>
        <translation>Check for Updates…</translation>
    </message>
    <message>
        <source>정보</source>
        <translation>About</translation>
    </message>
    <message>
        <source>고정한 폴더를 모두 해제할까요?</source>
        <translation>Unpin all pinned folders?</translation>
    </message>
    <message>
        <source>모두 해제</source>
        <translation>Unpin All</translation>
    </message>
    <message>
        <source>다른 Skyloom 명령이 끝나기를 기다리는 중이에요…</source>
        <translation>Waiting for another Skyloom command to finish…</translation>
    </message>
    <message>
        <source>고정 목록을 저장하지 못했어요. 저장 공간을 확인한 뒤 다시 시도하세요.</source>
        <translation>The pin list couldn&apos;t be saved. Check the storage space, then try again.</translation>
    </message>
    <message>
        <source>고정 목록을 읽지 못했어요. 잠시 뒤 다시 시도하세요.</source>
        <translation>The pin list couldn&apos;t be read. Try again in a moment.</translation>
    </message>
    <message>
        <source>저장된 고정 목록이 더 새 버전의 Skyloom에서 만들어져 열지 않았어요. 새 버전의 Skyloom으로 다시 실행해 주세요.</source>
        <translation>The saved pin list was made by a newer version of Skyloom and was not opened. Start the newer Skyloom again.</translation>
    </message>
    <message>
        <source>다시 허용</source>
        <translation>Allow Again</translation>
    </message>
    <message>
        <source>Skyloom 앱과 연결하는 폴더가 링크이거나 폴더가 아니라서 쓰지 않았어요: %1</source>
        <translation>Not using the folder that connects to the Skyloom app: it is a link or not a folder: %1</translation>
    </message>
    <message>
        <source>Skyloom 앱과 연결하는 폴더가 다른 사용자의 것이라서 쓰지 않았어요: %1</source>
        <translation>Not using the folder that connects to the Skyloom app: it belongs to another user: %1</translation>
    </message>
    <message>
        <source>Skyloom 앱과 연결하는 폴더를 다른 사용자도 열 수 있어서 쓰지 않았어요: %1</source>
        <translation>Not using the folder that connects to the Skyloom app: other users can open it: %1</translation>
    </message>
    <message>
        <source>Skyloom 앱과 연결하는 소켓 너머에 이 사용자의 Skyloom 앱이 없어서 명령을 보내지 않았어요: %1</source>
        <translation>The command was not sent: the socket that connects to the Skyloom app does not lead to your Skyloom app: %1</translation>
    </message>
    <message>
        <source>Skyloom 앱과 연결하는 폴더를 쓸 수 없어요: %1</source>
        <translation>The folder that connects to the Skyloom app can&apos;t be used: %1</translation>
    </message>
    <message>
        <source>실행 중인 Skyloom 앱이 고정 목록을 쓰고 있어 명령을 실행하지 않았어요. 이 경로를 지우고 Skyloom 앱을 다시 시작해 주세요: %1</source>
        <translation>The command did not run: the running Skyloom app is using the pin list. Remove this path and restart the Skyloom app: %1</translation>
    </message>
    <message>
        <source>Skyloom 앱을 시작하지 못해 여기서 처리했어요.</source>
        <translation>The Skyloom app couldn&apos;t be started, so the command ran without it.</translation>
    </message>
    <message>
        <source>이 답은 임시 목록에서 나왔어요. 저장된 고정 목록을 열지 못했어요.</source>
        <translation>This answer comes from a temporary list: the saved pin list couldn&apos;t be opened.</translation>
    </message>
    <message>
        <source>Skyloom의 고정 해제</source>
        <translation>Unpin with Skyloom</translation>
    </message>
    <message>
        <source>일반 파일이 아니라 그대로 두었어요: %1</source>
        <translation>Left alone, as it is not a regular file: %1</translation>
    </message>
    <message>
        <source>이 컴퓨터의 폴더가 아니라 고정할 수 없어요. 휴지통이나 네트워크 위치의 폴더는 고정되지 않아요.</source>
        <translation>Not a folder on this computer, so it can&apos;t be pinned. Folders in the Trash or in a network location can&apos;t be pinned.</translation>
    </message>
    <message>
        <source>지금 찾을 수 없어 원래 날짜로 되돌리지 못했어요. 다시 연결되면 자동으로 되돌려요.</source>
        <translation>Can&apos;t be found right now, so its original date wasn&apos;t restored. It goes back automatically once the folder is back.</translation>
    </message>
    <message>
        <source>목록에서 지웠어요. 폴더를 찾을 수 없어 2100년 날짜가 남아 있어요. 다시 연결된 뒤 한 번 고정 해제하면 원래 날짜로 돌아가요.</source>
        <translation>Removed from the list. The folder can&apos;t be found, so it keeps its 2100 date until you unpin it once it&apos;s back.</translation>
    </message>
    <message>
        <source>지금 찾을 수 없는 폴더는 목록에 남았다가, 다시 연결되면 원래 날짜로 돌아가요.</source>
        <translation>Folders that can&apos;t be found right now stay in the list and go back to their original date once they&apos;re back.</translation>
    </message>
    <message>
        <source>목록에 없던 폴더를 폴더에 남아 있던 원래 날짜로 되돌렸어요: </source>
        <translation>Restored the original date each folder kept itself, for folders that weren&apos;t in the list: </translation>
    </message>
    <message>
        <source>읽기 전용으로 연결된 디스크예요. 폴더의 날짜를 바꿀 수 없어요. 쓰기 가능하게 다시 연결하거나(예: &apos;sudo mount -o remount,rw 연결 위치&apos;) 다른 디스크에 있는 폴더를 고정하세요.</source>
        <translation>This disk is mounted read-only, so the folder&apos;s date can&apos;t change. Mount it again with writing allowed (for example &apos;sudo mount -o remount,rw &lt;mount point&gt;&apos;), or pin a folder on another disk.</translation>
    </message>
    <message>
        <source>시스템이 만들어 보여 주는 가상 폴더예요(/proc, /sys 등). 날짜를 저장하지 않아 고정할 수 없어요. 내 파일이 있는 폴더를 고정하세요.</source>
        <translation>This is a virtual folder the system makes up (/proc, /sys and the like). It keeps no dates, so it can&apos;t be pinned. Pin a folder that holds your own files.</translation>
    </message>
    <message>
        <source>네트워크 디스크에 있는 폴더예요. 다른 컴퓨터가 날짜를 바꿀 수 있어 고정할 수 없어요. 이 컴퓨터의 디스크에 있는 폴더를 고정하세요.</source>
        <translation>This folder is on a network disk. Another computer can change its dates, so it can&apos;t be pinned. Pin a folder on a disk of this computer.</translation>
    </message>
    <message>
        <source>다시 확인</source>
        <translation>Check Again</translation>
    </message>
    <message>
        <source>%1 사용자의 폴더라 날짜를 바꿀 수 없어요 — 소유자에게 맡기거나 &apos;sudo chown&apos;으로 내 계정으로 바꾸세요</source>
        <translation>Owned by %1, so its date can&apos;t change — ask the owner, or make it yours with &apos;sudo chown&apos;</translation>
    </message>
    <message>
        <source>이 폴더까지 들어갈 권한이 없어요 — 위 폴더의 소유자가 &apos;chmod&apos;로 권한을 주어야 해요</source>
        <translation>No permission to reach this folder — the owner of a folder above it must grant it with &apos;chmod&apos;</translation>
    </message>
    <message>
        <source>읽기 전용으로 연결된 디스크예요 — 쓰기 가능하게 다시 연결한 뒤 &apos;다시 확인&apos;을 누르세요</source>
        <translation>On a disk mounted read-only — mount it writable again, then choose &apos;Check Again&apos;</translation>
    </message>
    <message>
        <source>&apos;%1&apos; 폴더를 다시 확인했지만 아직 날짜를 바꿀 수 없어요.</source>
        <translation>Checked &apos;%1&apos; again, but its date still can&apos;t change.</translation>
    </message>
    <message>
        <source>&apos;%1&apos; 폴더를 다시 고정했어요.</source>
        <translation>&apos;%1&apos; is pinned again.</translation>
    </message>
    <message>
        <source>이 컴퓨터의 폴더만 고정할 수 있어요. 네트워크 주소는 고정할 수 없어요.</source>
        <translation>Only folders on this computer can be pinned. Network addresses can&apos;t be pinned.</translation>
    </message>
    <message>
        <source>파일 관리자 메뉴를 뺐어요.</source>
        <translation>The file manager menu items are removed.</translation>
    </message>
    <message>
        <source>파일 관리자 메뉴를 넣었어요. 파일 관리자를 다시 열면 보여요.</source>
        <translation>The file manager menu items are added. They show once the file manager is opened again.</translation>
    </message>
    <message>
        <source>업데이트 확인 중…</source>
        <translation>Checking for Updates…</translation>
    </message>
    <message>
        <source>파일 관리자의 목록 보기에서 접근 시간 열로 정렬하세요. Dolphin·Nemo·Caja는 &apos;접근한 날짜&apos;, Nautilus는 &apos;접근 시각&apos;, Thunar는 &apos;엑세스한 날짜&apos; 열이에요. 오래된 순이면 맨 아래로 가요.</source>
        <translation>Sort the file manager&apos;s list view by its access-time column: &quot;Accessed&quot; in Dolphin and Nautilus, &quot;Date Accessed&quot; in Nemo, Caja and Thunar. Oldest first puts them at the bottom.</translation>
    </message>
    <message>
        <source>찾을 수 없음 — 다시 연결되면 원래 날짜로 되돌려요</source>
        <translation>Not found — its earlier date goes back once it is here again</translation>
    </message>
</context>
</TS>
