// Entry of the Windows test program. Besides running the tests, it can stand in for a
// child process: "--tallybell-test-exit-code N" exits with N at once, so the elevated
// re-launch (which always starts this very executable) can be checked end to end.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wstring(argv[1]) == L"--tallybell-test-exit-code") {
    return static_cast<int>(std::wcstoul(argv[2], nullptr, 10));
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
