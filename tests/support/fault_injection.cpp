#include "support/fault_injection.h"

#include <type_traits>
#include <utility>

namespace tallybell::测试 {
namespace {

// Which of the counting kinds an entry can receive.
enum 适用 : unsigned {
  占空间 = 1u << 0,  // 磁盘已满
  可出错 = 1u << 1,  // 输入输出错误
  是写入 = 1u << 2,  // 写入不足
  是刷新 = 1u << 3,  // 刷新失败
  是重命名 = 1u << 4,  // 重命名失败
};

struct 注入状态 {
  std::uint64_t 目标 = 0, 计数 = 0, 适用计数 = 0, 注入次数 = 0;
  故障类型 类型 = 故障类型::调用失败;
  bool 持续 = false, 已注入 = false;
  std::string 目标调用, 故障调用;
};
注入状态 状态;

bool 按全部调用计数() { return 状态.类型 == 故障类型::调用失败 || 状态.类型 == 故障类型::短写; }

// The entries each kind applies to, in the order of 故障类型.
bool 类型适用(unsigned 掩码) {
  constexpr unsigned 按类型[] = {0, 0, 占空间, 可出错, 是写入, 是刷新, 是重命名};
  return 按全部调用计数() || (按类型[static_cast<int>(状态.类型)] & 掩码) != 0;
}

// Counts one call; true when this call is the one to fail (or, with 持续, one after it).
bool 轮到故障(const char* 名称, unsigned 掩码) {
  ++状态.计数;
  if (!类型适用(掩码)) return false;
  ++状态.适用计数;
  if (状态.已注入) {
    if (!状态.持续) return false;
    ++状态.注入次数;
    return true;
  }
  const bool 按名称 = !状态.目标调用.empty() && 状态.目标调用 == 名称;
  const bool 按序号 = 状态.目标 != 0 && 状态.适用计数 == 状态.目标;
  if (!按名称 && !按序号) return false;
  状态.已注入 = true;
  状态.注入次数 = 1;
  状态.故障调用 = 名称;
  return true;
}

// The counting kinds report a system error code the way the real call would.
void 设置错误() {
  if (!按全部调用计数()) 设置模拟系统错误(状态.类型 == 故障类型::磁盘已满 ? 故障类型::磁盘已满 : 故障类型::输入输出错误);
}

const platform::文件调用表& 真实() { return platform::系统文件调用表(); }

// One wrapper per entry: it counts, fails when its turn has come, otherwise passes on.
template <auto 成员>
struct 包装;

template <typename 结果, typename... 参数, 结果 (*platform::文件调用表::*成员)(参数...)>
struct 包装<成员> {
  static inline const char* 名称 = "";
  static inline unsigned 掩码 = 0;
  static 结果 调用(参数... 实参) {
    if (轮到故障(名称, 掩码)) {
      if constexpr (std::is_void_v<结果>) {
        (真实().*成员)(实参...);  // a handle is still released; only the outcome is lost
        return;
      } else {
        设置错误();
        return 结果{};
      }
    }
    return (真实().*成员)(实参...);
  }
};

bool 打开(const std::wstring& 路径, platform::打开模式 模式, platform::原生文件* 输出) {
  const bool 新建 = 模式 == platform::打开模式::独占新建写入 || 模式 == platform::打开模式::读写打开或新建;
  if (轮到故障("打开", 可出错 | (新建 ? 占空间 : 0u))) {
    设置错误();
    return false;
  }
  return 真实().打开(路径, 模式, 输出);
}

bool 写入(platform::原生文件 文件, const void* 数据, std::size_t 长度, std::size_t* 已写) {
  if (轮到故障("写入", 占空间 | 可出错 | 是写入)) {
    if (状态.类型 == 故障类型::写入不足 && 长度 < 2) {
      *已写 = 0;
      return true;
    }
    if (状态.类型 == 故障类型::写入不足 || (状态.类型 == 故障类型::短写 && 长度 > 1)) {
      return 真实().写入(文件, 数据, 长度 / 2, 已写);
    }
    设置错误();
    return false;
  }
  return 真实().写入(文件, 数据, 长度, 已写);
}

bool 查询(const std::wstring& 路径, platform::文件信息* 输出) {
  if (轮到故障("查询", 可出错)) {
    if (!按全部调用计数()) {
      *输出 = platform::文件信息{};
      输出->错误码 = 设置模拟系统错误(故障类型::输入输出错误);
    }
    return false;
  }
  return 真实().查询(路径, 输出);
}

bool 创建目录(const std::wstring& 路径, bool* 已存在) {
  if (轮到故障("创建目录", 占空间 | 可出错)) {
    if (!按全部调用计数()) *已存在 = false;
    设置错误();
    return false;
  }
  return 真实().创建目录(路径, 已存在);
}

#define TALLYBELL_包装(项, 适用掩码)                                                      \
  (包装<&platform::文件调用表::项>::名称 = #项, 包装<&platform::文件调用表::项>::掩码 = (适用掩码), \
   包装<&platform::文件调用表::项>::调用)

platform::文件调用表 故障调用表() {
  platform::文件调用表 表 = 真实();
  表.打开 = 打开;
  表.读取 = TALLYBELL_包装(读取, 可出错);
  表.写入 = 写入;
  表.刷新 = TALLYBELL_包装(刷新, 占空间 | 可出错 | 是刷新);
  表.取大小 = TALLYBELL_包装(取大小, 可出错);
  表.定位 = TALLYBELL_包装(定位, 可出错);
  表.截断 = TALLYBELL_包装(截断, 占空间 | 可出错);
  表.关闭 = TALLYBELL_包装(关闭, 0u);
  表.查询 = 查询;
  表.创建目录 = 创建目录;
  表.删除文件 = TALLYBELL_包装(删除文件, 可出错);
  表.删除目录 = TALLYBELL_包装(删除目录, 可出错);
  表.清除只读 = TALLYBELL_包装(清除只读, 可出错);
  表.移动不替换 = TALLYBELL_包装(移动不替换, 占空间 | 可出错 | 是重命名);
  表.移动并替换 = TALLYBELL_包装(移动并替换, 占空间 | 可出错 | 是重命名);
  表.替换并备份 = TALLYBELL_包装(替换并备份, 占空间 | 可出错 | 是重命名);
  表.复制文件不覆盖 = TALLYBELL_包装(复制文件不覆盖, 占空间 | 可出错);
  表.枚举目录 = TALLYBELL_包装(枚举目录, 可出错);
  return 表;
}

}  // namespace

文件故障注入::文件故障注入(std::uint64_t 故障序号, 故障类型 类型, bool 持续) {
  状态 = 注入状态{};
  状态.目标 = 故障序号;
  状态.类型 = 类型;
  状态.持续 = 持续;
  platform::文件调用() = 故障调用表();
}

文件故障注入::文件故障注入(const std::string& 调用名称) : 文件故障注入() { 状态.目标调用 = 调用名称; }

文件故障注入::~文件故障注入() { platform::文件调用() = 真实(); }

std::uint64_t 文件故障注入::调用次数() const { return 状态.计数; }
std::uint64_t 文件故障注入::适用调用次数() const { return 状态.适用计数; }
bool 文件故障注入::已注入() const { return 状态.已注入; }
std::uint64_t 文件故障注入::注入次数() const { return 状态.注入次数; }
std::string 文件故障注入::故障调用() const { return 状态.故障调用; }

}  // namespace tallybell::测试
