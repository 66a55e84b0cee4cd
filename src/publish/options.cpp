#include "publish/options.h"
#include "common/failure.h"

#include <algorithm>

namespace tallybell {
namespace {

enum class 选项种类 { 必需, 可选, 一个或多个, 零个或多个, 标志 };

struct 选项定义 {
  const wchar_t* 名称;
  选项种类 种类;
};

struct 命令定义 {
  const wchar_t* 命令;
  std::vector<选项定义> 选项;
};

const std::vector<命令定义>& 命令表() {
  static const std::vector<命令定义> 表 = {
      {L"release",
       {{L"--input", 选项种类::必需},
        {L"--release-id", 选项种类::必需},
        {L"--base-url", 选项种类::一个或多个},
        {L"--out", 选项种类::必需},
        {L"--signing-key", 选项种类::可选}}},
      {L"policy",
       {{L"--manifest", 选项种类::必需},
        {L"--manifest-url", 选项种类::必需},
        {L"--policy-version", 选项种类::必需},
        {L"--assignment-id", 选项种类::必需},
        {L"--check-after", 选项种类::必需},
        {L"--result-url", 选项种类::零个或多个},
        {L"--out", 选项种类::必需}}},
      {L"fixture",
       {{L"--content", 选项种类::必需},
        {L"--release-id", 选项种类::必需},
        {L"--policy", 选项种类::必需},
        {L"--out", 选项种类::必需},
        {L"--ready-made", 选项种类::标志}}},
      {L"verify", {{L"--content", 选项种类::必需}}},
      {L"key generate", {{L"--out", 选项种类::必需}}},
  };
  return 表;
}

}  // namespace

std::wstring 发布命令行::单值(const wchar_t* 选项) const {
  const auto 位置 = 值.find(选项);
  return 位置 == 值.end() || 位置->second.empty() ? std::wstring() : 位置->second.front();
}

std::vector<std::wstring> 发布命令行::全部值(const wchar_t* 选项) const {
  const auto 位置 = 值.find(选项);
  return 位置 == 值.end() ? std::vector<std::wstring>() : 位置->second;
}

bool 解析发布命令行(const std::vector<std::wstring>& 参数, 发布命令行* 输出, std::wstring* 错误) {
  发布命令行 结果;
  if (参数.empty() || std::find(参数.begin(), 参数.end(), L"--help") != 参数.end() ||
      参数.front() == L"help") {
    结果.命令 = L"help";
  } else if (std::find(参数.begin(), 参数.end(), L"--version") != 参数.end()) {
    结果.命令 = L"version";
  }
  if (!结果.命令.empty()) {
    *输出 = std::move(结果);
    if (错误 != nullptr) 错误->clear();
    return true;
  }

  // "key" takes its action as a second word.
  const bool 两词 = 参数.front() == L"key" && 参数.size() > 1;
  const std::wstring 命令 = 两词 ? 参数[0] + L" " + 参数[1] : 参数.front();
  const auto& 表 = 命令表();
  const auto 定义 = std::find_if(表.begin(), 表.end(), [&](const 命令定义& 项) { return 命令 == 项.命令; });
  if (定义 == 表.end()) return 失败(错误, L"未知命令：" + 命令);
  结果.命令 = 命令;
  for (std::size_t i = 两词 ? 2 : 1; i < 参数.size(); ++i) {
    const auto 选项 = std::find_if(定义->选项.begin(), 定义->选项.end(),
                                   [&](const 选项定义& 项) { return 参数[i] == 项.名称; });
    if (选项 == 定义->选项.end()) return 失败(错误, L"该命令没有这个选项：" + 参数[i]);
    if (选项->种类 == 选项种类::标志) {
      if (!结果.标志.insert(参数[i]).second) return 失败(错误, L"选项重复：" + 参数[i]);
      continue;
    }
    if (i + 1 >= 参数.size() || 参数[i + 1].empty()) return 失败(错误, L"选项缺少值：" + 参数[i]);
    auto& 值 = 结果.值[参数[i]];
    const bool 可重复 = 选项->种类 == 选项种类::一个或多个 || 选项->种类 == 选项种类::零个或多个;
    if (!值.empty() && !可重复) return 失败(错误, L"选项重复：" + 参数[i]);
    值.push_back(参数[++i]);
  }
  for (const auto& 选项 : 定义->选项) {
    const bool 必需 = 选项.种类 == 选项种类::必需 || 选项.种类 == 选项种类::一个或多个;
    if (必需 && 结果.值.count(选项.名称) == 0) return 失败(错误, std::wstring(L"缺少选项：") + 选项.名称);
  }
  *输出 = std::move(结果);
  if (错误 != nullptr) 错误->clear();
  return true;
}

}  // namespace tallybell
