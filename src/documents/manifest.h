// The release manifest: the document that names a release and lists every file of it, and
// the URL and path rules that the system applies wherever such values arrive from outside.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tallybell {

// One file of a release.
struct 发布文件 {
  std::string path;    // canonical relative path, UTF-8, '/' as separator
  std::string sha256;  // 64 lowercase hexadecimal characters
  std::uint64_t size = 0;
  std::vector<std::string> downloadUrls;  // as written, at least one, unique ignoring case
};

// A parsed and completely validated manifest.
struct 发布清单 {
  std::uint64_t formatVersion = 0;  // 1 after validation
  std::string releaseId;            // 1 to 128 bytes of [A-Za-z0-9._-]
  std::vector<发布文件> files;       // document order, paths unique ignoring ASCII case
};

// Which bytes an HTTPS URL may hold. Download URLs may carry raw non-ASCII bytes; URLs the
// service is addressed at must be plain printable ASCII.
enum class 地址形式 {
  下载,
  服务,
};

// Validates the manifest text completely. On success the three fields of *输出 are replaced
// and *错误 is cleared; on failure *输出 is untouched and *错误 (when given) holds one fixed
// message. An element of files that is not an object fails with an empty message.
bool 解析发布清单(const std::string& 文本, 发布清单* 输出, std::wstring* 错误 = nullptr);

// 1 to 1024 bytes, no leading '/', no '\', ':' or zero byte, and no empty, "." or ".."
// segment between the '/' separators, and no segment Windows would not store as it is
// (a device name such as CON, NUL, AUX, PRN, COM1..COM9 or LPT1..LPT9, with or without an
// extension, or a name ending in '.' or ' '). Bytes above 0x7F are allowed.
bool 是规范相对路径(const std::string& 路径);

// "https://" in any letter case, a non-empty authority, and only bytes the form allows
// (no control bytes, blanks or '\' in either form).
bool 是HTTPS地址(const std::string& 地址, 地址形式 形式);

// "http://" in any letter case to the designated content host exactly (no port, no user
// information), printable ASCII only and no '\'.
bool 是内容主机地址(const std::string& 地址);

// A-Z become a-z; every other byte is unchanged.
std::string 转ASCII小写(std::string 文本);

}  // namespace tallybell
