// Joining paths with the platform's separator, and where a root keeps its release
// directories.
#pragma once

#include <string>

namespace tallybell {

// base + name, inserting the platform's separator unless base already ends with it;
// empty when base is empty. Only the platform separator counts as trailing.
std::wstring 连接路径(const std::wstring& 基础, const std::wstring& 名称);

// Everything before the last '\' or '/'; empty when there is none.
std::wstring 父目录(const std::wstring& 路径);

// <根>/releases: where a program root keeps its release directories, and where the
// publishing tool's content and an offline fixture keep theirs.
std::wstring 发布目录集(const std::wstring& 根);
// <根>/releases/<标识>.
std::wstring 发布目录(const std::wstring& 根, const std::wstring& 标识);

}  // namespace tallybell
