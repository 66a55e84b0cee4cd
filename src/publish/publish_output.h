// What the publishing tool prints: results on standard output, error lines and summaries
// on standard error, so that `hash=$(tallybell-publish release ...)` captures only the
// result.
#pragma once

#include <cstdint>
#include <string>

namespace tallybell {

// A failure of one step: the exit code and one sentence, usually naming the file.
struct 发布失败 {
  std::uint32_t 代码 = 0;
  std::wstring 消息;
};

// 消息 + "：" + the name (converted leniently, a file name may not be valid Unicode).
std::wstring 带名称(const wchar_t* 消息, const std::wstring& 名称);
std::wstring 带名称(const wchar_t* 消息, const std::string& UTF8名称);

void 写结果行(const std::string& 文本);   // standard output, as given
void 写说明行(const std::string& 文本);   // standard error, as given
// "错误 <code>：<message>" and a line feed on standard error; returns the code.
std::uint32_t 报告失败(const 发布失败& 失败);

// A relative path without any folder ("policy.json") gets "./" in front, so that every
// output path has a parent directory to be written into.
std::wstring 补全输出路径(const std::wstring& 路径);

}  // namespace tallybell
