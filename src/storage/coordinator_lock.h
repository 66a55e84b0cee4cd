// The lock that serialises every change of the local version state and the release
// directories between update-core processes. It lives with the state it guards, so the
// update run and offline preparation both reach it from below.
#pragma once

namespace tallybell {

inline constexpr wchar_t 协调器锁名称[] = L"Tallybell-UpdateCoordinator-v1";

}  // namespace tallybell
