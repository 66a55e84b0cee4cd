#include "crash_oracle.h"

#include <algorithm>
#include <system_error>

#include <nlohmann/json.hpp>

#include "documents/sha256.h"
#include "download/checkpoint.h"
#include "release/verification.h"
#include "results/result_queue.h"
#include "storage/release_id.h"
#include "storage/version_state.h"
#include "support/file_helpers.h"
#include "support/tree_compare.h"

namespace tallybell::崩溃测试 {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

bool 以此开头(const std::string& 文本, const std::string& 前缀) { return 文本.rfind(前缀, 0) == 0; }
bool 是临时文件(const std::string& 名称) { return 名称.find(".tmp-") != std::string::npos; }

using 违例表 = std::vector<std::string>;

void 检查状态(const 预期& 预期值, 观察记录* 记录, 违例表* 违例) {
  const std::wstring 根 = 预期值.状态根.wstring();
  const auto 路径 = 取本地版本状态路径(根);
  // Both files are only ever replaced whole, so whichever exists must load on its own.
  std::string 文本;
  std::uint64_t 代次 = 0;
  for (const auto& 文件 : {路径.主文件, 路径.备份文件}) {
    if (fs::exists(fs::path(文件)) && !加载单个本地版本状态(文件, &文本, &代次)) {
      违例->push_back("state file does not load: " + fs::path(文件).string());
    }
  }
  本地版本状态 状态;
  if (!加载本地版本状态(根, &文本, &状态)) {
    if (记录->有状态) 违例->push_back("no usable state after one was committed");
    return;
  }
  if (记录->有状态 && 状态.generation < 记录->代次) {
    违例->push_back("state generation went back from " + std::to_string(记录->代次) + " to " + std::to_string(状态.generation));
  }
  if (记录->有状态 && 状态.policyVersion < 记录->策略版本) 违例->push_back("state policyVersion went back");
  const std::wstring 已装(预期值.已装版本.begin(), 预期值.已装版本.end());
  if (!已装.empty() && (状态.activeRelease != 已装 || 状态.lastGoodRelease != 已装)) {
    违例->push_back("the active release record changed");
  }
  记录->有状态 = true, 记录->代次 = 状态.generation, 记录->策略版本 = 状态.policyVersion;
  if (!状态.pendingRelease.empty() && !发布目录可用((预期值.程序根 / "releases" / fs::path(状态.pendingRelease)).wstring())) {
    违例->push_back("pendingRelease names a directory that does not verify");
  }
}

void 检查发布目录(const 预期& 预期值, 违例表* 违例) {
  const fs::path 发布根 = 预期值.程序根 / "releases";
  std::error_code 错误;
  if (!fs::is_directory(发布根, 错误)) return;
  for (const auto& 项 : fs::directory_iterator(发布根)) {
    const std::string 名称 = 项.path().filename().u8string();
    const auto 原有 = 预期值.原有目录.find(名称);
    if (以此开头(名称, "quarantine-")) {
      // Only a planted incomplete directory is ever set aside, and then whole.
      const bool 相符 = std::any_of(预期值.原有目录.begin(), 预期值.原有目录.end(), [&](const auto& 原) {
        return 以此开头(名称, "quarantine-" + 原.first + "-") && 读取目录树(项.path()) == 原.second;
      });
      if (!相符) 违例->push_back("unexpected set-aside directory " + 名称);
    } else if (!发布标识有效(项.path().filename().wstring())) {
      违例->push_back("unexpected entry in releases: " + 名称);
    } else if (!发布目录可用(项.path().wstring())) {
      if (原有 == 预期值.原有目录.end() || 读取目录树(项.path()) != 原有->second) {
        违例->push_back("release directory " + 名称 + " does not verify");
      }
    } else if (原有 != 预期值.原有目录.end() && 读取目录树(项.path()) != 原有->second &&
               名称 != 预期值.目标发布) {
      违例->push_back("installed release " + 名称 + " changed");
    }
  }
}

void 检查缓存(const 预期& 预期值, 观察记录* 记录, 违例表* 违例) {
  std::error_code 错误;
  if (!fs::is_directory(预期值.缓存根, 错误)) return;
  for (const auto& 项 : fs::directory_iterator(预期值.缓存根)) {
    const std::string 名称 = 项.path().filename().u8string();
    if (是临时文件(名称)) {
      ++记录->遗留临时文件;
      if (名称.size() < 64 || !以此开头(名称.substr(64), ".part.json.tmp-")) 违例->push_back("unexpected temporary file in the cache: " + 名称);
      continue;
    }
    const auto 对象 = 名称.size() < 64 ? 预期值.对象.end() : 预期值.对象.find(名称.substr(0, 64));
    // An object that a faulted read could not verify is set aside, never served.
    if (对象 != 预期值.对象.end() && 以此开头(名称.substr(64), ".object.corrupt-")) continue;
    if (对象 == 预期值.对象.end()) {
      违例->push_back("unexpected cache entry " + 名称);
      continue;
    }
    const std::string 后缀 = 名称.substr(64);
    const std::string& 内容 = 对象->second;
    if (后缀 == ".object") {
      unsigned char 摘要[SHA256字节数];
      if (fs::file_size(项.path(), 错误) != 内容.size() || !计算文件SHA256(项.path().wstring(), 摘要) ||
          转小写十六进制(摘要) != 对象->first) {
        违例->push_back("cache object does not verify: " + 名称);
      }
    } else if (后缀 == ".part") {
      // Bytes reach .part strictly in order from offset 0, so whatever is there is a prefix.
      const std::string 部分 = 读测试文件(项.path());
      if (部分.size() > 内容.size() || 内容.compare(0, 部分.size(), 部分) != 0) {
        违例->push_back("cache part holds wrong bytes: " + 名称);
      }
    } else if (后缀 == ".part.json" || 后缀 == ".part.json.bak") {
      下载断点状态 断点;
      if (!读取下载断点状态(项.path().wstring(), &断点) || 断点.hash != 对象->first ||
          断点.targetSize != 内容.size()) {
        违例->push_back("checkpoint does not read back: " + 名称);
      }
    } else {
      违例->push_back("unexpected cache entry " + 名称);
    }
  }
}

// A queued event must be a document the queue itself would write for a valid event.
bool 事件完整(const std::string& 文档, std::string* 标识) {
  const auto 值 = nlohmann::json::parse(文档, nullptr, false);
  if (!值.is_object() || 值.size() != 12) return false;
  结果事件 事件;
  try {
    for (const auto& [名称, 字段] : std::initializer_list<std::pair<const char*, std::string*>>{
             {"eventId", &事件.eventId}, {"installationId", &事件.installationId}, {"assignmentId", &事件.assignmentId},
             {"originalReleaseId", &事件.originalReleaseId}, {"targetReleaseId", &事件.targetReleaseId},
             {"finalReleaseId", &事件.finalReleaseId}, {"result", &事件.result}, {"failureStage", &事件.failureStage},
             {"taskId", &事件.taskId}, {"occurredAt", &事件.occurredAt}}) {
      *字段 = 值.at(名称).get<std::string>();
    }
    事件.policyVersion = 值.at("policyVersion").get<std::uint64_t>();
    事件.errorCode = 值.at("errorCode").get<std::uint32_t>();
  } catch (const nlohmann::json::exception&) {
    return false;
  }
  *标识 = 事件.eventId;
  // Written again, the event must give the same bytes: that also rules out numbers of
  // another kind or range that the reads above converted.
  return 结果事件有效(事件) && 结果事件文档(事件) == 文档;
}

void 检查结果队列(const 预期& 预期值, 观察记录* 记录, 违例表* 违例) {
  const fs::path 队列 = fs::path(结果队列目录(预期值.状态根.wstring()));
  std::error_code 错误;
  if (!fs::is_directory(队列, 错误)) return;
  for (const auto& 项 : fs::directory_iterator(队列)) {
    const std::string 名称 = 项.path().filename().u8string();
    if (是临时文件(名称)) {
      ++记录->遗留临时文件;
      continue;
    }
    std::string 标识;
    if (项.path().extension() != ".json" || !事件完整(读测试文件(项.path()), &标识) || 标识 + ".json" != 名称) {
      违例->push_back("queued result event is not complete: " + 名称);
      continue;
    }
    记录->排队事件.insert(标识);
  }
}

void 检查策略与标识(const 预期& 预期值, 观察记录* 记录, 违例表* 违例) {
  std::error_code 错误;
  const fs::path 策略 = 预期值.状态根 / "state" / "current-policy.json";
  if (fs::exists(策略, 错误) && 读测试文件(策略) != 预期值.策略文本) 违例->push_back("current-policy.json is not the policy");
  const fs::path 标识文件 = 预期值.状态根 / "state" / "installation-id.txt";
  if (!fs::exists(标识文件, 错误)) {
    if (!记录->设备标识.empty()) 违例->push_back("installation identity vanished");
    return;
  }
  const std::string 标识 = 读测试文件(标识文件);
  if (标识.empty()) 违例->push_back("installation identity is empty");
  if (!记录->设备标识.empty() && 标识 != 记录->设备标识) 违例->push_back("installation identity changed");
  记录->设备标识 = 标识;
}

}  // namespace

std::vector<std::string> 检查现场(const 预期& 预期值, 观察记录* 记录) {
  违例表 违例;
  记录->遗留临时文件 = 0;
  检查状态(预期值, 记录, &违例);
  检查发布目录(预期值, &违例);
  检查缓存(预期值, 记录, &违例);
  检查结果队列(预期值, 记录, &违例);
  检查策略与标识(预期值, 记录, &违例);
  return 违例;
}

std::vector<std::string> 检查已准备(const 预期& 预期值, const std::string& 清单文本, const 测试::发布内容& 文件,
                                   std::uint64_t 策略版本) {
  违例表 违例;
  const std::string& 目标 = 预期值.目标发布;
  const fs::path 目录 = 预期值.程序根 / "releases" / fs::u8path(目标);
  std::map<std::string, std::string> 期望 = {{"release.manifest.json", 清单文本},
                                              {"complete.json", 测试::生成完成标记文本(目标, 测试::测试SHA256(清单文本), 文件)}};
  for (const auto& [路径, 内容] : 文件) {
    期望[路径] = 内容;
    for (auto 位置 = 路径.find('/'); 位置 != std::string::npos; 位置 = 路径.find('/', 位置 + 1)) 期望[路径.substr(0, 位置)] = "<dir>";
  }
  std::error_code 错误;
  if (!发布目录可用(目录.wstring()) || !fs::is_directory(目录, 错误) || 读取目录树(目录) != 期望) {
    违例.push_back("the prepared release differs from the published files");
  }
  std::string 文本;
  本地版本状态 状态;
  if (!加载本地版本状态(预期值.状态根.wstring(), &文本, &状态)) {
    违例.push_back("no usable state after a success");
  } else {
    if (状态.pendingRelease != std::wstring(目标.begin(), 目标.end())) 违例.push_back("the target is not pending");
    if (状态.policyVersion != 策略版本 || 状态.policyContentId.empty()) 违例.push_back("the policy is not recorded in the state");
  }
  if (读测试文件(预期值.状态根 / "state" / "current-policy.json") != 预期值.策略文本) 违例.push_back("current-policy.json is not the policy");
  return 违例;
}

}  // namespace tallybell::崩溃测试
