// Where things live in a content directory (what a web server publishes) and the rules
// for the values the tool turns into URLs and directory names.
#pragma once

#include <string>

#include "publish/publish_output.h"

namespace tallybell {

// <content>/objects: one "<sha256>.object" per distinct file content.
std::wstring 内容对象目录(const std::wstring& 内容目录);
// <content>/releases/<id>/manifest.json.
std::wstring 内容清单路径(const std::wstring& 内容目录, const std::wstring& 发布标识);

// A release id the core accepts both in documents and as a directory name (1 to 64
// characters of [A-Za-z0-9._-], neither "." nor ".."). Code 3 otherwise.
bool 检查发布标识(const std::wstring& 标识, std::string* UTF8标识, 发布失败* 失败);

// A download base URL: strict UTF-8, no query or fragment, trailing '/' removed, and
// "<base>/objects/<sha256>.object" accepted by the manifest's download URL rule. Code 3
// otherwise.
bool 规范下载基础地址(const std::wstring& 地址, std::string* 输出, 发布失败* 失败);

// "<base>/objects/<sha256>.object".
std::string 对象下载地址(const std::string& 基础地址, const std::string& sha256);

}  // namespace tallybell
