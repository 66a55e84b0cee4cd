#include "coordinator/installation_identity.h"

#include "common/guid_text.h"
#include "common/text.h"
#include "platform/system_info.h"
#include "storage/files.h"
#include "storage/paths.h"

namespace tallybell {
namespace {

constexpr std::size_t 标识长度 = 36;

// The registry form without its braces, lowercased.
bool 新设备安装标识(std::string* 输出) {
  platform::GUID值 值;
  if (!platform::生成GUID(&值)) return false;
  const std::wstring 注册表形式 = GUID注册表形式(值);
  if (注册表形式.size() != 标识长度 + 2 || 注册表形式.front() != L'{' || 注册表形式.back() != L'}') {
    return false;
  }
  std::wstring 内部 = 注册表形式.substr(1, 标识长度);
  for (wchar_t& 字符 : 内部) {
    if (字符 >= L'A' && 字符 <= L'Z') 字符 = static_cast<wchar_t>(字符 - L'A' + L'a');
  }
  std::string UTF8;
  if (!宽转UTF8(内部, &UTF8) || !设备安装标识有效(UTF8)) return false;
  *输出 = std::move(UTF8);
  return true;
}

}  // namespace

std::wstring 设备安装标识路径(const std::wstring& stateRoot) {
  return 连接路径(连接路径(stateRoot, L"state"), L"installation-id.txt");
}

bool 设备安装标识有效(const std::string& 标识) {
  if (标识.size() != 标识长度) return false;
  for (const char 字符 : 标识) {
    const bool 允许 = (字符 >= '0' && 字符 <= '9') || (字符 >= 'a' && 字符 <= 'f') || 字符 == '-';
    if (!允许) return false;
  }
  return true;
}

bool 取得设备安装标识(const std::wstring& stateRoot, std::string* 标识) {
  if (标识 == nullptr || stateRoot.empty()) return false;
  const std::wstring 路径 = 设备安装标识路径(stateRoot);
  std::string 内容;
  if (读取整个文件(路径, &内容)) {
    while (!内容.empty() && (内容.back() == '\r' || 内容.back() == '\n')) 内容.pop_back();
    if (设备安装标识有效(内容)) {
      *标识 = std::move(内容);
      return true;
    }
  } else if (!读取失败可以重写(路径)) {
    // The stored identity is there but could not be read this time; a new one would make
    // the service count this machine twice.
    return false;
  }
  std::string 新标识;
  if (!新设备安装标识(&新标识)) return false;
  // Only a stored identity may be handed out: one that was never written would change with
  // every run and the service would count this machine many times over.
  if (!原子写入文件(路径, 新标识 + "\n", 路径 + L".bak")) return false;
  *标识 = std::move(新标识);
  return true;
}

std::string 取得系统描述() { return 宽转UTF8宽松(platform::系统描述()); }

}  // namespace tallybell
