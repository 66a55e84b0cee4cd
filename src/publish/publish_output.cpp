#include "publish/publish_output.h"

#include "common/text.h"
#include "platform/console.h"
#include "platform/paths.h"
#include "storage/paths.h"

namespace tallybell {

std::wstring 带名称(const wchar_t* 消息, const std::wstring& 名称) { return std::wstring(消息) + L"：" + 名称; }

std::wstring 带名称(const wchar_t* 消息, const std::string& UTF8名称) {
  return 带名称(消息, UTF8转宽宽松(UTF8名称));
}

void 写结果行(const std::string& 文本) { platform::写标准输出(文本.data(), 文本.size()); }

void 写说明行(const std::string& 文本) { platform::写标准错误(文本.data(), 文本.size()); }

std::uint32_t 报告失败(const 发布失败& 失败) {
  写说明行("错误 " + 十进制(失败.代码) + "：" + 宽转UTF8宽松(失败.消息) + "\n");
  return 失败.代码;
}

std::wstring 补全输出路径(const std::wstring& 路径) {
  if (路径.empty() || !父目录(路径).empty()) return 路径;
  return std::wstring(L".") + platform::路径分隔符 + 路径;
}

}  // namespace tallybell
