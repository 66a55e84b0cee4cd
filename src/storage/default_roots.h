// The default places of the program, its state and its download cache.
#pragma once

#include <string>

namespace tallybell {

struct 默认目录 {
  std::wstring programRoot;
  std::wstring stateRoot;
  std::wstring cacheRoot;
};

// The three default roots from the Program Files and common application data folders;
// false (all three empty) when either folder is unknown.
bool 取默认目录(默认目录* 输出);

// The default roots built from the two base folders; false (all empty) when either base
// is empty. Split out so the rule can be tested without the real folders.
bool 由基础文件夹计算默认目录(const std::wstring& 程序文件夹, const std::wstring& 公共数据文件夹,
                             默认目录* 输出);

// The cache directory below a state root, as used when only --state-root is given.
std::wstring 状态根下的缓存目录(const std::wstring& stateRoot);

}  // namespace tallybell
