// Reads a release that the publishing tool wrote (content/releases/<id>/) into the record
// the service assigns.
#pragma once

#include <string>

#include "service/service_records.h"

namespace tallybell::服务 {

// 发布目录 holds manifest.json (named by the directory's release id) and, when the release
// was signed, manifest.json.sig. 基础地址 is where content/ is published; the manifest URL
// is <base>/releases/<id>/manifest.json. False with a message for anything the core would
// refuse.
bool 读取发布目录(const std::string& 发布目录, const std::string& 基础地址, 发布记录* 发布, std::string* 错误);

// The signature text as the publishing tool writes it: base64 (standard alphabet, padded)
// of 64 bytes.
bool 签名文本有效(const std::string& 文本);

}  // namespace tallybell::服务
