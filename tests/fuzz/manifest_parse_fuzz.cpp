// Feeds arbitrary bytes to the release manifest parse. Besides the sanitizers it checks
// the parse's contract: a failure leaves the output alone and gives a known message (or
// the empty one of an element that is not an object); a success clears the message and
// yields a record that obeys every rule and survives a round trip through its own text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "documents/json_value.h"
#include "documents/sha256.h"
#include "documents/manifest.h"

#include "fuzz_support.h"

namespace {

using tallybell::发布文件;
using tallybell::发布清单;

bool 是已知消息(const std::wstring& 消息) {
  static const wchar_t* const 消息表[] = {
      L"",
      L"发布清单根必须是对象。",
      L"发布清单 formatVersion 必须为 1。",
      L"发布清单 releaseId 格式无效。",
      L"发布清单 files 必须是非空数组。",
      L"字段缺失或不是非空字符串：path",
      L"字段缺失或不是非空字符串：sha256",
      L"字段缺失、不是整数或小于零：size",
      L"文件 path 必须是规范的相对路径。",
      L"文件 sha256 必须是 64 位小写十六进制。",
      L"文件 downloadUrls 必须是非空数组。",
      L"downloadUrls 包含无效、非 HTTPS 或不在允许主机内的地址。",
      L"发布清单包含重复文件路径。",
  };
  for (const wchar_t* 已知 : 消息表) {
    if (消息 == 已知) return true;
  }
  return 是JSON错误消息(消息);
}

void 检查文件(const 发布文件& 文件, std::set<std::string>* 已见路径) {
  要求(tallybell::是规范相对路径(文件.path));
  要求(tallybell::是小写SHA256文本(文件.sha256));
  要求(已见路径->insert(tallybell::转ASCII小写(文件.path)).second);
  要求(!文件.downloadUrls.empty());
  std::set<std::string> 已见地址;
  for (const std::string& 地址 : 文件.downloadUrls) {
    要求(tallybell::是HTTPS地址(地址, tallybell::地址形式::下载) ||
         tallybell::是内容主机地址(地址));
    要求(已见地址.insert(tallybell::转ASCII小写(地址)).second);
  }
}

// The record written back as a manifest, every field of it; parsing that must give the
// same record, which therefore writes back to the same text.
std::string 重写(const 发布清单& 清单) {
  nlohmann::json 文件表 = nlohmann::json::array();
  for (const 发布文件& 文件 : 清单.files) {
    文件表.push_back({{"path", 文件.path},
                      {"sha256", 文件.sha256},
                      {"size", 文件.size},
                      {"downloadUrls", 文件.downloadUrls}});
  }
  const nlohmann::json 文档 = {
      {"formatVersion", 清单.formatVersion}, {"releaseId", 清单.releaseId}, {"files", 文件表}};
  return 文档.dump();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* 数据, std::size_t 大小) {
  const std::string 文本(reinterpret_cast<const char*>(数据), 大小);
  发布清单 清单;
  清单.releaseId = "sentinel";
  std::wstring 错误 = L"stale";
  if (!tallybell::解析发布清单(文本, &清单, &错误)) {
    要求(是已知消息(错误));
    要求(清单.formatVersion == 0 && 清单.releaseId == "sentinel" && 清单.files.empty());
    return 0;
  }
  要求(错误.empty());
  要求(清单.formatVersion == 1);
  要求(!清单.releaseId.empty() && 清单.releaseId.size() <= 128);
  要求(!清单.files.empty());
  std::set<std::string> 已见路径;
  for (const 发布文件& 文件 : 清单.files) 检查文件(文件, &已见路径);

  const std::string 文本一 = 重写(清单);
  发布清单 再解析;
  要求(tallybell::解析发布清单(文本一, &再解析) && 重写(再解析) == 文本一);
  return 0;
}
