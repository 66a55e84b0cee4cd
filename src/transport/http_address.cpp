#include "transport/http_address.h"

#include <algorithm>
#include <cstring>
#include <cstddef>
#include <utility>

#include "common/text.h"

namespace tallybell {
namespace {

constexpr std::size_t 无位置 = std::wstring::npos;

// In the authority, control characters, blanks, non-ASCII characters and '\' are
// refused: the two HTTP libraries would each repair such a host in their own way.
bool 字符可用(wchar_t 字符) { return 字符 >= 0x21 && 字符 <= 0x7E && 字符 != L'\\'; }

bool 是十六进制(char 字符) {
  return (字符 >= '0' && 字符 <= '9') || (字符 >= 'a' && 字符 <= 'f') || (字符 >= 'A' && 字符 <= 'F');
}

// The characters a path and query may carry as they are: unreserved, sub-delims, ':',
// '@', '/' and '?' ('%' only as the start of an escape, checked by the caller).
bool 目标中可原样(char 字符) {
  if ((字符 >= 'a' && 字符 <= 'z') || (字符 >= 'A' && 字符 <= 'Z') || (字符 >= '0' && 字符 <= '9')) return true;
  return 字符 != '\0' && std::strchr("-._~!$&'()*+,;=:@/?", 字符) != nullptr;
}

// Path and query as the request line carries them: the UTF-8 bytes outside the grammar
// (blanks, non-ASCII, '\', a '%' that starts no escape, ...) as %XX; escapes already there
// stay as they are. False when the text is not valid UTF-16.
bool 编码请求目标(const std::wstring& 目标, std::wstring* 输出) {
  std::string 字节;
  if (!宽转UTF8(目标, &字节)) return false;
  static const char 数字[] = "0123456789ABCDEF";
  std::wstring 结果;
  for (std::size_t i = 0; i < 字节.size(); ++i) {
    const char 字符 = 字节[i];
    const bool 是转义 = 字符 == '%' && i + 2 < 字节.size() && 是十六进制(字节[i + 1]) && 是十六进制(字节[i + 2]);
    if (目标中可原样(字符) || 是转义) {
      结果 += static_cast<wchar_t>(字符);
      continue;
    }
    const auto 值 = static_cast<unsigned char>(字符);
    结果 += L'%';
    结果 += static_cast<wchar_t>(数字[值 >> 4]);
    结果 += static_cast<wchar_t>(数字[值 & 0xF]);
  }
  *输出 = std::move(结果);
  return true;
}

std::wstring ASCII小写(std::wstring 文本) {
  for (auto& 字符 : 文本) {
    if (字符 >= L'A' && 字符 <= L'Z') 字符 = static_cast<wchar_t>(字符 - L'A' + L'a');
  }
  return 文本;
}

bool 以此开头(const std::wstring& 文本, const wchar_t* 前缀) { return 文本.rfind(前缀, 0) == 0; }

// 1 to 5 decimal digits with a value from 1 to 65535.
bool 解析端口(const std::wstring& 文本, std::uint16_t* 端口) {
  if (文本.empty() || 文本.size() > 5) return false;
  std::uint32_t 值 = 0;
  for (const wchar_t 字符 : 文本) {
    if (字符 < L'0' || 字符 > L'9') return false;
    值 = 值 * 10 + static_cast<std::uint32_t>(字符 - L'0');
  }
  if (值 == 0 || 值 > 65535) return false;
  *端口 = static_cast<std::uint16_t>(值);
  return true;
}

// Host and optional port of an authority without user information.
bool 拆分主机与端口(const std::wstring& 权限, std::wstring* 主机, std::wstring* 端口文本) {
  std::size_t 主机终点 = 0;
  if (!权限.empty() && 权限[0] == L'[') {
    const std::size_t 右括号 = 权限.find(L']');
    if (右括号 == 无位置 || 右括号 == 1) return false;
    主机终点 = 右括号 + 1;
  } else {
    主机终点 = 权限.find(L':');
    if (主机终点 == 无位置) 主机终点 = 权限.size();
    if (权限.find_first_of(L"[]") < 主机终点) return false;
  }
  *主机 = 权限.substr(0, 主机终点);
  if (主机->empty()) return false;
  if (主机终点 == 权限.size()) return true;
  if (权限[主机终点] != L':') return false;
  *端口文本 = 权限.substr(主机终点 + 1);
  return true;
}

// The generic parts of a URI reference.
struct 引用部分 {
  std::wstring 协议;
  bool 有权限 = false;
  std::wstring 权限;
  std::wstring 路径;
  bool 有查询 = false;
  std::wstring 查询;
  bool 有片段 = false;
  std::wstring 片段;
};

引用部分 分解引用(const std::wstring& 文本) {
  引用部分 部分;
  std::size_t 位置 = 0;
  const std::size_t 协议终点 = 文本.find_first_of(L":/?#");
  if (协议终点 != 无位置 && 协议终点 > 0 && 文本[协议终点] == L':') {
    部分.协议 = 文本.substr(0, 协议终点);
    位置 = 协议终点 + 1;
  }
  if (文本.compare(位置, 2, L"//") == 0) {
    部分.有权限 = true;
    const std::size_t 终点 = 文本.find_first_of(L"/?#", 位置 + 2);
    部分.权限 = 文本.substr(位置 + 2, 终点 == 无位置 ? 无位置 : 终点 - 位置 - 2);
    位置 = 终点 == 无位置 ? 文本.size() : 终点;
  }
  const std::size_t 路径终点 = std::min(文本.find_first_of(L"?#", 位置), 文本.size());
  部分.路径 = 文本.substr(位置, 路径终点 - 位置);
  位置 = 路径终点;
  if (位置 < 文本.size() && 文本[位置] == L'?') {
    部分.有查询 = true;
    const std::size_t 终点 = std::min(文本.find(L'#', 位置 + 1), 文本.size());
    部分.查询 = 文本.substr(位置 + 1, 终点 - 位置 - 1);
    位置 = 终点;
  }
  if (位置 < 文本.size()) {
    部分.有片段 = true;
    部分.片段 = 文本.substr(位置 + 1);
  }
  return 部分;
}

void 删去最后一段(std::wstring* 输出) {
  const std::size_t 斜线 = 输出->rfind(L'/');
  输出->erase(斜线 == 无位置 ? 0 : 斜线);
}

// The "." and ".." removal of RFC 3986, applied to a whole path.
std::wstring 去除点段(std::wstring 输入) {
  std::wstring 输出;
  while (!输入.empty()) {
    if (以此开头(输入, L"../")) {
      输入.erase(0, 3);
    } else if (以此开头(输入, L"./")) {
      输入.erase(0, 2);
    } else if (以此开头(输入, L"/./") || 输入 == L"/.") {
      输入.replace(0, 以此开头(输入, L"/./") ? 3 : 2, L"/");
    } else if (以此开头(输入, L"/../") || 输入 == L"/..") {
      输入.replace(0, 以此开头(输入, L"/../") ? 4 : 3, L"/");
      删去最后一段(&输出);
    } else if (输入 == L"." || 输入 == L"..") {
      输入.clear();
    } else {
      const std::size_t 段终点 = std::min(输入.find(L'/', 1), 输入.size());
      输出 += 输入.substr(0, 段终点);
      输入.erase(0, 段终点);
    }
  }
  return 输出;
}

std::wstring 合并路径(const 引用部分& 基础, const std::wstring& 相对路径) {
  if (基础.有权限 && 基础.路径.empty()) return L"/" + 相对路径;
  const std::size_t 斜线 = 基础.路径.rfind(L'/');
  return (斜线 == 无位置 ? std::wstring() : 基础.路径.substr(0, 斜线 + 1)) + 相对路径;
}

std::wstring 组合引用(const 引用部分& 部分) {
  std::wstring 文本 = 部分.协议 + L":";
  if (部分.有权限) 文本 += L"//" + 部分.权限;
  文本 += 部分.路径;
  if (部分.有查询) 文本 += L"?" + 部分.查询;
  if (部分.有片段) 文本 += L"#" + 部分.片段;
  return 文本;
}

}  // namespace

bool 拆分HTTP地址(const std::wstring& 地址, HTTP地址* 输出) {
  if (输出 == nullptr) return false;
  const std::size_t 分隔 = 地址.find(L"://");
  if (分隔 == 无位置) return false;
  HTTP地址 结果;
  const std::wstring 协议 = ASCII小写(地址.substr(0, 分隔));
  if (协议 != L"https" && 协议 != L"http") return false;
  结果.https = 协议 == L"https";

  const std::size_t 权限起点 = 分隔 + 3;
  const std::size_t 权限终点 = std::min(地址.find_first_of(L"/?#", 权限起点), 地址.size());
  std::wstring 权限 = 地址.substr(权限起点, 权限终点 - 权限起点);
  for (const wchar_t 字符 : 权限) {
    if (!字符可用(字符)) return false;
  }
  const std::size_t 用户信息终点 = 权限.find(L'@');
  if (用户信息终点 != 无位置) {
    if (权限.find(L'@', 用户信息终点 + 1) != 无位置) return false;
    权限.erase(0, 用户信息终点 + 1);
  }
  std::wstring 端口文本;
  if (!拆分主机与端口(权限, &结果.host, &端口文本)) return false;
  结果.port = 结果.https ? 443 : 80;
  if (!端口文本.empty() && !解析端口(端口文本, &结果.port)) return false;

  const std::size_t 片段起点 = std::min(地址.find(L'#', 权限终点), 地址.size());
  if (!编码请求目标(地址.substr(权限终点, 片段起点 - 权限终点), &结果.requestTarget)) return false;
  if (结果.requestTarget.empty() || 结果.requestTarget[0] != L'/') 结果.requestTarget.insert(0, L"/");
  *输出 = std::move(结果);
  return true;
}

std::wstring 指定内容主机() { return L"" TALLYBELL_CONTENT_HOST; }

bool 是指定内容主机(const std::wstring& 主机) { return ASCII小写(主机) == ASCII小写(指定内容主机()); }

bool 是跳转状态码(std::uint32_t 状态码) {
  return 状态码 == 301 || 状态码 == 302 || 状态码 == 303 || 状态码 == 307 || 状态码 == 308;
}

bool 合成跳转地址(const std::wstring& 基础, const std::wstring& 位置, std::wstring* 结果) {
  if (结果 == nullptr || 位置.empty()) return false;
  const 引用部分 基 = 分解引用(基础);
  if (基.协议.empty()) return false;
  const 引用部分 引用 = 分解引用(位置);
  引用部分 目标 = 引用;
  if (!引用.协议.empty()) {
    目标.路径 = 去除点段(引用.路径);
  } else {
    目标.协议 = 基.协议;
    if (引用.有权限) {
      目标.路径 = 去除点段(引用.路径);
    } else {
      目标.有权限 = 基.有权限;
      目标.权限 = 基.权限;
      if (引用.路径.empty()) {
        目标.路径 = 基.路径;
        if (!引用.有查询) {
          目标.有查询 = 基.有查询;
          目标.查询 = 基.查询;
        }
      } else {
        目标.路径 = 去除点段(引用.路径[0] == L'/' ? 引用.路径 : 合并路径(基, 引用.路径));
      }
    }
  }
  *结果 = 组合引用(目标);
  return true;
}

}  // namespace tallybell
