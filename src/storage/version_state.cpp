#include "storage/version_state.h"

#include <algorithm>
#include <utility>

#include "common/text.h"
#include "documents/json_output.h"
#include "documents/sha256.h"
#include "storage/files.h"
#include "storage/paths.h"
#include "storage/version_state_v1.h"

namespace tallybell {
namespace {

constexpr std::uint64_t 当前格式版本 = 2;
constexpr std::size_t 校验和长度 = 64;

const char* const 格式版本键 = "formatVersion";
const char* const 代次键 = "generation";
const char* const 策略版本键 = "policyVersion";
const char* const 校验和键 = "checksum";
const char* const 失败次数键 = "updateFailureCount";
const char* const 策略内容键 = "policyContentId";
const char* const 下次检查键 = "nextCheckAt";
const char* const 历史键 = "confirmedHistory";
const char* const 隔离键 = "quarantined";

// The six release strings, in record order.
struct 发布字段 {
  const char* 键;
  std::wstring 本地版本状态::*字段;
};
const 发布字段 发布字段表[] = {
    {"activeRelease", &本地版本状态::activeRelease},
    {"lastGoodRelease", &本地版本状态::lastGoodRelease},
    {"pendingRelease", &本地版本状态::pendingRelease},
    {"attemptingRelease", &本地版本状态::attemptingRelease},
    {"rescueRelease", &本地版本状态::rescueRelease},
    {"legacyInstallPath", &本地版本状态::legacyInstallPath},
};

bool 是已知键(const std::string& 键) {
  static const char* const 其余已知键[] = {格式版本键, 代次键, 策略版本键, 校验和键,
                                           失败次数键, 策略内容键, 下次检查键, 历史键,
                                           隔离键};
  for (const char* 已知 : 其余已知键) {
    if (键 == 已知) return true;
  }
  for (const 发布字段& 字段 : 发布字段表) {
    if (键 == 字段.键) return true;
  }
  return false;
}

// A string member without zero bytes.
const std::string* 读取无NUL字符串(const Json值& 文档, const char* 键) {
  const Json值* 成员 = 文档.查找成员(键);
  if (成员 == nullptr || !成员->是字符串()) return nullptr;
  if (成员->文本().find('\0') != std::string::npos) return nullptr;
  return &成员->文本();
}

bool 读取字符串列表(const Json值& 文档, const char* 键, std::vector<std::wstring>* 输出) {
  const Json值* 成员 = 文档.查找成员(键);
  if (成员 == nullptr || !成员->是数组()) return false;
  std::vector<std::wstring> 列表;
  列表.reserve(成员->元素().size());
  for (const Json值& 元素 : 成员->元素()) {
    std::wstring 宽;
    if (!元素.是字符串() || !UTF8转宽(元素.文本(), &宽)) return false;
    列表.push_back(std::move(宽));
  }
  *输出 = std::move(列表);
  return true;
}

// The header checks, in the order the format prescribes, then the checksum.
bool 校验文档头(const Json值& 文档, 本地版本状态* 状态) {
  std::uint64_t 格式版本 = 0;
  if (!读取非负整数(文档.查找成员(格式版本键), &格式版本) || 格式版本 != 当前格式版本) {
    return false;
  }
  if (!读取非负整数(文档.查找成员(代次键), &状态->generation) || 状态->generation == 0) {
    return false;
  }
  if (!读取非负整数(文档.查找成员(策略版本键), &状态->policyVersion)) return false;
  const std::string* 存储校验和 = 读取无NUL字符串(文档, 校验和键);
  if (存储校验和 == nullptr || 存储校验和->size() != 校验和长度) return false;

  std::string 计算校验和;
  return 计算本地版本状态校验和(文档, &计算校验和) && 计算校验和 == *存储校验和;
}

bool 读取记录字段(const Json值& 文档, 本地版本状态* 状态) {
  if (const Json值* 次数 = 文档.查找成员(失败次数键)) {
    if (!读取非负整数(次数, &状态->updateFailureCount)) return false;
  }
  for (const 发布字段& 字段 : 发布字段表) {
    const std::string* 文本 = 读取无NUL字符串(文档, 字段.键);
    if (文本 == nullptr || !UTF8转宽(*文本, &(状态->*字段.字段))) return false;
  }
  if (!读取字符串列表(文档, 历史键, &状态->confirmedHistory) ||
      !读取字符串列表(文档, 隔离键, &状态->quarantined)) {
    return false;
  }
  const std::string* 策略内容 = 读取无NUL字符串(文档, 策略内容键);
  const std::string* 下次检查 = 读取无NUL字符串(文档, 下次检查键);
  if (策略内容 == nullptr || 下次检查 == nullptr) return false;
  状态->policyContentId = *策略内容;
  状态->nextCheckAt = *下次检查;

  Json值 保留 = Json值::对象();
  for (const auto& [键, 值] : 文档.成员()) {
    if (!是已知键(键)) 保留.设置成员(键, 值);
  }
  return 序列化JSON(保留, &状态->preservedFields);
}

bool 解析版本2(const std::string& 文本, 本地版本状态* 输出) {
  Json值 文档;
  if (!Json值::解析(文本, &文档) || !文档.是对象()) return false;
  本地版本状态 状态;
  if (!校验文档头(文档, &状态) || !读取记录字段(文档, &状态)) return false;
  *输出 = std::move(状态);
  return true;
}

bool 宽列表转Json(const std::vector<std::wstring>& 列表, Json值* 输出) {
  Json值 数组 = Json值::数组();
  for (const std::wstring& 项 : 列表) {
    std::string UTF8;
    if (!宽转UTF8(项, &UTF8)) return false;
    数组.追加元素(Json值::字符串(std::move(UTF8)));
  }
  *输出 = std::move(数组);
  return true;
}

// The record as a document without its checksum.
bool 构建文档(const 本地版本状态& 状态, Json值* 输出) {
  Json值 文档 = Json值::对象();
  if (!状态.preservedFields.empty()) {
    if (!Json值::解析(状态.preservedFields, &文档) || !文档.是对象()) return false;
  }
  文档.设置成员(格式版本键, Json值::无符号整数(当前格式版本));
  文档.设置成员(代次键, Json值::无符号整数(状态.generation == 0 ? 1 : 状态.generation));
  文档.设置成员(策略版本键, Json值::无符号整数(状态.policyVersion));
  文档.设置成员(策略内容键, Json值::字符串(状态.policyContentId));
  文档.设置成员(下次检查键, Json值::字符串(状态.nextCheckAt));
  文档.设置成员(失败次数键, Json值::无符号整数(状态.updateFailureCount));
  for (const 发布字段& 字段 : 发布字段表) {
    std::string UTF8;
    if (!宽转UTF8(状态.*字段.字段, &UTF8)) return false;
    文档.设置成员(字段.键, Json值::字符串(std::move(UTF8)));
  }
  Json值 历史;
  Json值 隔离;
  if (!宽列表转Json(状态.confirmedHistory, &历史) || !宽列表转Json(状态.quarantined, &隔离)) {
    return false;
  }
  文档.设置成员(历史键, std::move(历史));
  文档.设置成员(隔离键, std::move(隔离));
  文档.移除成员(校验和键);
  *输出 = std::move(文档);
  return true;
}

// The record behind one file, for the load operations.
enum class 单个状态 { 可用, 缺失或损坏, 暂时读不出 };

单个状态 读取单个(const std::wstring& 路径, std::string* 文本, 本地版本状态* 状态) {
  std::string 内容;
  if (!读取整个文件(路径, &内容)) {
    return 读取失败可以重写(路径) ? 单个状态::缺失或损坏 : 单个状态::暂时读不出;
  }
  if (!解析本地版本状态(内容, 状态)) return 单个状态::缺失或损坏;
  *文本 = std::move(内容);
  return 单个状态::可用;
}

bool 加载单个(const std::wstring& 路径, std::string* 文本, 本地版本状态* 状态) {
  return 读取单个(路径, 文本, 状态) == 单个状态::可用;
}

}  // namespace

bool 解析本地版本状态(const std::string& 文本, 本地版本状态* 输出) {
  if (输出 == nullptr) return false;
  if (是版本1文本(文本)) return 解析版本1本地版本状态(文本, 输出);
  return 解析版本2(文本, 输出);
}

bool 计算本地版本状态校验和(const Json值& 文档, std::string* 十六进制) {
  if (十六进制 == nullptr || !文档.是对象()) return false;
  Json值 无校验和 = 文档;
  无校验和.移除成员(校验和键);
  std::string 规范文本;
  if (!序列化JSON(无校验和, &规范文本)) return false;
  unsigned char 摘要[SHA256字节数];
  if (!计算数据SHA256(规范文本.data(), 规范文本.size(), 摘要)) return false;
  *十六进制 = 转小写十六进制(摘要);
  return true;
}

std::string 序列化本地版本状态(const 本地版本状态& 状态) {
  Json值 文档;
  std::string 校验和;
  if (!构建文档(状态, &文档) || !计算本地版本状态校验和(文档, &校验和)) return {};
  文档.设置成员(校验和键, Json值::字符串(std::move(校验和)));
  std::string 文本;
  if (!序列化JSON(文档, &文本)) return {};
  return 文本;
}

本地版本状态路径 取本地版本状态路径(const std::wstring& stateRoot) {
  return {连接路径(stateRoot, L"state.txt"), 连接路径(stateRoot, L"state.txt.bak")};
}

bool 加载单个本地版本状态(const std::wstring& 路径, std::string* 文本, std::uint64_t* 代次) {
  if (文本 == nullptr || 代次 == nullptr) return false;
  本地版本状态 状态;
  if (!加载单个(路径, 文本, &状态)) return false;
  *代次 = 状态.generation;
  return true;
}

bool 加载本地版本状态(const std::wstring& stateRoot, std::string* 文本, 本地版本状态* 状态) {
  if (文本 == nullptr || 状态 == nullptr) return false;
  const 本地版本状态路径 路径 = 取本地版本状态路径(stateRoot);
  std::string 主文本;
  std::string 备份文本;
  本地版本状态 主状态;
  本地版本状态 备份状态;
  const 单个状态 主 = 读取单个(路径.主文件, &主文本, &主状态);
  const 单个状态 备份 = 读取单个(路径.备份文件, &备份文本, &备份状态);
  // A file that is there but could not be read this time may hold the newest generation;
  // choosing the other one would build the next generation on an older record and drop
  // what the newer one had. The caller fails instead and the next run reads both again.
  if (主 == 单个状态::暂时读不出 || 备份 == 单个状态::暂时读不出) return false;
  const bool 主可用 = 主 == 单个状态::可用;
  const bool 备份可用 = 备份 == 单个状态::可用;
  if (!主可用 && !备份可用) return false;
  // A replace that stopped half-way can leave the newer generation only in the backup.
  const bool 选备份 = !主可用 || (备份可用 && 备份状态.generation > 主状态.generation);
  // The chosen text was parsed above; parsing is deterministic, so its record is reused.
  if (选备份) {
    *文本 = std::move(备份文本);
    *状态 = std::move(备份状态);
  } else {
    *文本 = std::move(主文本);
    *状态 = std::move(主状态);
  }
  return true;
}

bool 保存本地版本状态(const std::wstring& 主文件, const std::wstring& 备份文件,
                      const std::string& 文本) {
  if (文本.find('\0') != std::string::npos) return false;
  本地版本状态 校验;
  if (!解析本地版本状态(文本, &校验)) return false;
  return 原子写入文件(主文件, 文本, 备份文件);
}

bool 已隔离(const 本地版本状态& 状态, const std::wstring& 发布标识) {
  return std::find(状态.quarantined.begin(), 状态.quarantined.end(), 发布标识) !=
         状态.quarantined.end();
}

bool 递增代次(本地版本状态* 状态) {
  if (状态 == nullptr || 状态->generation == 最大代次) return false;
  ++状态->generation;
  return true;
}

}  // namespace tallybell
