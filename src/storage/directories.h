// Where the update core keeps its files, and the rules for names within those places.
#pragma once

#include <string>

namespace tallybell {

struct 默认目录 {
  std::wstring programRoot;
  std::wstring stateRoot;
  std::wstring cacheRoot;
};

// base + name, inserting the platform's separator unless base already ends with it;
// empty when base is empty. Only the platform separator counts as trailing.
std::wstring 连接路径(const std::wstring& 基础, const std::wstring& 名称);

// Everything before the last '\' or '/'; empty when there is none.
std::wstring 父目录(const std::wstring& 路径);

// The three default roots from the Program Files and common application data folders;
// false (all three empty) when either folder is unknown.
bool 取默认目录(默认目录* 输出);

// The default roots built from the two base folders; false (all empty) when either base
// is empty. Split out so the rule can be tested without the real folders.
bool 由基础文件夹计算默认目录(const std::wstring& 程序文件夹, const std::wstring& 公共数据文件夹,
                             默认目录* 输出);

// The cache directory below a state root, as used when only --state-root is given.
std::wstring 状态根下的缓存目录(const std::wstring& stateRoot);

// 1 to 64 characters, each an ASCII letter, digit, '-', '.' or '_', and neither "." nor
// "..": a release id that is safe as one path component.
bool 发布标识有效(const std::wstring& 标识);

// <根>/releases: where a program root keeps its release directories, and where the
// publishing tool's content and an offline fixture keep theirs.
std::wstring 发布目录集(const std::wstring& 根);
// <根>/releases/<标识>.
std::wstring 发布目录(const std::wstring& 根, const std::wstring& 标识);

}  // namespace tallybell
