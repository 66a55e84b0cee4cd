#include "support/fault_injection.h"

#include <type_traits>
#include <utility>

namespace tallybell::测试 {
namespace {

struct 注入状态 {
  std::uint64_t 目标 = 0;
  std::uint64_t 计数 = 0;
  故障类型 类型 = 故障类型::调用失败;
  std::string 目标调用;
  bool 已注入 = false;
  std::string 故障调用;
};
注入状态 状态;

// Counts one call; true when this call is the one to fail.
bool 轮到故障(const char* 名称) {
  ++状态.计数;
  if (状态.已注入) return false;
  const bool 按名称 = !状态.目标调用.empty() && 状态.目标调用 == 名称;
  const bool 按序号 = 状态.目标 != 0 && 状态.计数 == 状态.目标;
  if (!按名称 && !按序号) return false;
  状态.已注入 = true;
  状态.故障调用 = 名称;
  return true;
}

const platform::文件调用表& 真实() { return platform::系统文件调用表(); }

// One wrapper per entry: it counts, fails when its turn has come, otherwise passes on.
template <auto 成员>
struct 包装;

template <typename 结果, typename... 参数, 结果 (*platform::文件调用表::*成员)(参数...)>
struct 包装<成员> {
  static inline const char* 名称 = "";
  static 结果 调用(参数... 实参) {
    if (轮到故障(名称)) {
      if constexpr (std::is_void_v<结果>) {
        (真实().*成员)(实参...);  // a handle is still released; only the outcome is lost
        return;
      } else {
        return 结果{};
      }
    }
    return (真实().*成员)(实参...);
  }
};

bool 写入(platform::原生文件 文件, const void* 数据, std::size_t 长度, std::size_t* 已写) {
  if (轮到故障("写入")) {
    if (状态.类型 == 故障类型::短写 && 长度 > 1) {
      return 真实().写入(文件, 数据, 长度 / 2, 已写);
    }
    return false;
  }
  return 真实().写入(文件, 数据, 长度, 已写);
}

#define TALLYBELL_包装(项)                                  \
  (包装<&platform::文件调用表::项>::名称 = #项,             \
   包装<&platform::文件调用表::项>::调用)

platform::文件调用表 故障调用表() {
  platform::文件调用表 表 = 真实();
  表.打开 = TALLYBELL_包装(打开);
  表.读取 = TALLYBELL_包装(读取);
  表.写入 = 写入;
  表.刷新 = TALLYBELL_包装(刷新);
  表.取大小 = TALLYBELL_包装(取大小);
  表.定位 = TALLYBELL_包装(定位);
  表.截断 = TALLYBELL_包装(截断);
  表.关闭 = TALLYBELL_包装(关闭);
  表.查询 = TALLYBELL_包装(查询);
  表.创建目录 = TALLYBELL_包装(创建目录);
  表.删除文件 = TALLYBELL_包装(删除文件);
  表.删除目录 = TALLYBELL_包装(删除目录);
  表.清除只读 = TALLYBELL_包装(清除只读);
  表.移动不替换 = TALLYBELL_包装(移动不替换);
  表.移动并替换 = TALLYBELL_包装(移动并替换);
  表.替换并备份 = TALLYBELL_包装(替换并备份);
  表.复制文件不覆盖 = TALLYBELL_包装(复制文件不覆盖);
  表.枚举目录 = TALLYBELL_包装(枚举目录);
  return 表;
}

}  // namespace

文件故障注入::文件故障注入(std::uint64_t 故障序号, 故障类型 类型) {
  状态 = 注入状态{};
  状态.目标 = 故障序号;
  状态.类型 = 类型;
  platform::文件调用() = 故障调用表();
}

文件故障注入::文件故障注入(const std::string& 调用名称) {
  状态 = 注入状态{};
  状态.目标调用 = 调用名称;
  platform::文件调用() = 故障调用表();
}

文件故障注入::~文件故障注入() { platform::文件调用() = 真实(); }

std::uint64_t 文件故障注入::调用次数() const { return 状态.计数; }
bool 文件故障注入::已注入() const { return 状态.已注入; }
std::string 文件故障注入::故障调用() const { return 状态.故障调用; }

}  // namespace tallybell::测试
