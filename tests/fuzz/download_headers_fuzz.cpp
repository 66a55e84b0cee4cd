// Feeds arbitrary text to the download head rules: Content-Length, Content-Range and
// Accept-Ranges values, the final URL, and a redirect Location. Input: lines in that order
// (missing lines are absent headers), read as lenient UTF-8. Besides the sanitizers it
// checks what the transfer code relies on: an accepted range lies inside its complete
// length, an accepted length reads back from its decimal text, a refused head leaves the
// output alone, and composing a redirect target is total and repeatable.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "common/text.h"
#include "transport/download_http_rules.h"
#include "transport/http_address.h"

#include "fuzz_support.h"

namespace tb = tallybell;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* 数据, std::size_t 大小) {
  std::istringstream 输入(std::string(reinterpret_cast<const char*>(数据), 大小));
  std::vector<std::wstring> 行;
  for (std::string 文本; 行.size() < 5 && std::getline(输入, 文本);) 行.push_back(tb::UTF8转宽宽松(文本));
  tb::下载原始响应头 原始;
  if (行.size() > 0) 原始.contentLength = 行[0];
  if (行.size() > 1) 原始.contentRange = 行[1];
  if (行.size() > 2) 原始.acceptRanges = 行[2];
  const std::wstring 最终地址 = 行.size() > 3 ? 行[3] : L"https://content.example/objects/a.object";

  tb::下载响应 响应;
  响应.statusCode = 999;
  std::wstring 错误;
  if (tb::构建下载响应头(206, 最终地址, 原始, &响应, &错误)) {
    要求(响应.statusCode == 206 && 响应.finalUrl == 最终地址);
    要求(tb::下载到达地址允许(最终地址));
    if (响应.hasContentRange) 要求(响应.rangeStart < 响应.rangeTotal);
    if (响应.hasContentLength) {
      std::uint64_t 再读 = 0;
      要求(tb::解析下载头数字(tb::十进制宽(响应.contentLength), &再读) && 再读 == 响应.contentLength);
    }
  } else {
    要求(响应.statusCode == 999 && !错误.empty());
  }

  if (行.size() > 4) {
    // The redirect loop composes every target before its address rule sees it: composing
    // must be total, refuse an empty Location, and depend on nothing but its inputs.
    std::wstring 甲, 乙;
    const bool 成 = tb::合成跳转地址(最终地址, 行[4], &甲);
    要求(!成 || !行[4].empty());
    要求(成 == tb::合成跳转地址(最终地址, 行[4], &乙) && (!成 || 甲 == 乙));
  }
  return 0;
}
