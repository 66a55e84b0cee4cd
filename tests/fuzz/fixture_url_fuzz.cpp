// Feeds arbitrary method and URL text to the offline fixture's URL helpers, which turn
// parts of a URL into file names inside the fixture directory. Input: the method, a line
// feed, then the URL (without a line feed the whole input is the URL and the method is
// "POST"); both are read as lenient UTF-8. Besides the sanitizers it checks that a helper
// that finds nothing leaves its output alone, and that whatever it finds is a piece of the
// URL that obeys its rule: a release identifier is one safe path component, an object hash
// is 64 lowercase hexadecimal characters.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/text.h"
#include "documents/manifest.h"
#include "documents/sha256.h"
#include "storage/release_id.h"
#include "transport/offline_fixture.h"

#include "fuzz_support.h"

namespace {

using tallybell::离线路由;

bool 以结尾(const std::wstring& 文本, const std::wstring& 结尾) {
  return 文本.size() >= 结尾.size() && 文本.compare(文本.size() - 结尾.size(), 结尾.size(), 结尾) == 0;
}

void 检查路径与路由(const std::wstring& 方法, const std::wstring& 地址) {
  std::wstring 路径 = L"sentinel";
  const bool 有路径 = tallybell::取地址路径(地址, &路径);
  if (有路径) {
    要求(!路径.empty() && 路径[0] == L'/' && 路径.find_first_of(L"?#") == std::wstring::npos);
    要求(地址.find(路径) != std::wstring::npos && 地址.find(L"://") != std::wstring::npos);
  } else {
    要求(路径 == L"sentinel");
  }

  const 离线路由 路由 = tallybell::选择离线路由(方法, 地址);
  const std::string 小写方法 = tallybell::转ASCII小写(tallybell::宽转UTF8宽松(方法));
  要求((路由 == 离线路由::清单) == (小写方法 == "get"));
  if (路由 == 离线路由::解析) 要求(小写方法 == "post" && 有路径 && 路径 == L"/update/v1/resolve");
  if (路由 == 离线路由::结果) 要求(小写方法 == "post" && 有路径 && 路径 == L"/update/v1/results");
}

void 检查发布标识(const std::wstring& 地址) {
  std::wstring 标识 = L"sentinel";
  if (!tallybell::取清单地址发布标识(地址, &标识)) {
    要求(标识 == L"sentinel");
    return;
  }
  要求(tallybell::发布标识有效(标识));
  要求(以结尾(地址, L"/releases/" + 标识 + L"/manifest.json"));
}

void 检查对象哈希(const std::wstring& 地址) {
  std::wstring 哈希 = L"sentinel";
  if (!tallybell::取下载地址对象哈希(地址, &哈希)) {
    要求(哈希 == L"sentinel");
    return;
  }
  要求(tallybell::是小写SHA256文本(哈希));
  const std::wstring 无查询 = 地址.substr(0, 地址.find_first_of(L"?#"));
  要求(以结尾(无查询, L"/" + 哈希) || 以结尾(无查询, L"/" + 哈希 + L".object"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* 数据, std::size_t 大小) {
  const std::string 输入(reinterpret_cast<const char*>(数据), 大小);
  const std::size_t 换行 = 输入.find('\n');
  const std::wstring 方法 = 换行 == std::string::npos ? L"POST" : tallybell::UTF8转宽宽松(输入.substr(0, 换行));
  const std::wstring 地址 =
      tallybell::UTF8转宽宽松(换行 == std::string::npos ? 输入 : 输入.substr(换行 + 1));
  检查路径与路由(方法, 地址);
  检查发布标识(地址);
  检查对象哈希(地址);
  return 0;
}
