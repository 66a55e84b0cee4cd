// init, release add/list, audit and prune.
#include <cstdio>

#include "common/time_text.h"
#include "documents/manifest.h"
#include "service/release_import.h"
#include "service/service_commands.h"
#include "service/store_open.h"

namespace tallybell::服务 {

int 报错(int 码, const std::string& 消息) {
  std::fprintf(stderr, "tallybell-service: %s\n", 消息.c_str());
  return 码;
}

std::string 时间文本(std::uint64_t 秒) { return 格式化UTC时间((秒 + 11644473600ULL) * 10000000ULL); }

int 执行初始化(命令环境& 环境) {
  const auto& 参数 = 环境.参数;
  服务设置 设置;
  设置.publicUrl = 参数.取("public-url");
  while (!设置.publicUrl.empty() && 设置.publicUrl.back() == '/') 设置.publicUrl.pop_back();
  if (!是HTTPS地址(设置.publicUrl + "/update/v1/results", 地址形式::服务)) {
    return 报错(用法错误, "--public-url must be the https:// address installations reach the service at");
  }
  std::optional<std::uint64_t> 间隔;
  std::string 错误;
  if (!参数.取数("check-interval", 60, 30 * 86400, &间隔, &错误)) return 报错(用法错误, 错误);
  设置.checkIntervalSeconds = 间隔.value_or(3600);
  auto 存储 = 打开服务存储(参数.取("db"), 环境.时钟, true, &错误);
  if (!存储) return 报错(存储错误, 错误);
  if (!存储->准备(&设置, &错误)) return 报错(错误 == "the database is already initialised" ? 拒绝 : 存储错误, 错误);
  std::printf("initialised %s: public URL %s, check interval %llu s\n", 参数.取("db").c_str(),
              设置.publicUrl.c_str(), static_cast<unsigned long long>(设置.checkIntervalSeconds));
  return 成功;
}

int 执行发布添加(命令环境& 环境) {
  const auto& 参数 = 环境.参数;
  if (参数.位置参数().size() != 1) return 报错(用法错误, "release add takes one release directory");
  发布记录 发布;
  std::string 错误;
  if (!读取发布目录(参数.位置参数()[0], 参数.取("base-url"), &发布, &错误)) return 报错(拒绝, 错误);
  发布.addedAt = 环境.时钟.现在();
  switch (环境.存储->添加发布(发布, 环境.审计("added release " + 发布.releaseId + " " + 发布.manifestHash))) {
    case 添加结果::已添加: break;
    case 添加结果::已存在: std::printf("release %s is already there\n", 发布.releaseId.c_str()); return 成功;
    case 添加结果::冲突: return 报错(拒绝, "release " + 发布.releaseId + " exists with another manifest");
    case 添加结果::失败: return 报错(存储错误, "cannot store the release");
  }
  std::printf("added release %s\n  manifest %s\n  sha256   %s\n  signed   %s\n", 发布.releaseId.c_str(),
              发布.manifestUrl.c_str(), 发布.manifestHash.c_str(), 发布.manifestSignature.empty() ? "no" : "yes");
  return 成功;
}

int 执行发布列表(命令环境& 环境) {
  std::printf("%-24s %-20s %-6s %s\n", "RELEASE", "ADDED", "SIGNED", "MANIFEST");
  for (const auto& 发布 : 环境.存储->列出发布()) {
    std::printf("%-24s %-20s %-6s %s\n", 发布.releaseId.c_str(), 时间文本(发布.addedAt).c_str(),
                发布.manifestSignature.empty() ? "no" : "yes", 发布.manifestUrl.c_str());
  }
  return 成功;
}

int 执行审计(命令环境& 环境) {
  std::optional<std::uint64_t> 条数;
  std::string 错误;
  if (!环境.参数.取数("last", 1, 100000, &条数, &错误)) return 报错(用法错误, 错误);
  for (const auto& 条目 : 环境.存储->读取审计(static_cast<std::uint32_t>(条数.value_or(50)))) {
    std::printf("%s  %-12s %s\n", 时间文本(条目.at).c_str(), 条目.who.c_str(), 条目.what.c_str());
  }
  return 成功;
}

int 执行修剪(命令环境& 环境) {
  std::optional<std::uint64_t> 天数;
  std::string 错误;
  if (!环境.参数.取数("older-than-days", 1, 36500, &天数, &错误)) return 报错(用法错误, 错误);
  if (!天数) return 报错(用法错误, "prune needs --older-than-days");
  const std::uint64_t 现在 = 环境.时钟.现在();
  const std::uint64_t 截止 = 现在 > *天数 * 86400 ? 现在 - *天数 * 86400 : 0;
  std::uint64_t 已删除 = 0;
  if (!环境.存储->修剪结果(截止, &已删除, 环境.审计("pruned results older than " + 时间文本(截止)))) {
    return 报错(存储错误, "cannot prune the results");
  }
  std::printf("pruned %llu result rows received before %s; per-release counts kept\n",
              static_cast<unsigned long long>(已删除), 时间文本(截止).c_str());
  return 成功;
}

}  // namespace tallybell::服务
