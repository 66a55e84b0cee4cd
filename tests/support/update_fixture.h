// Lays out an offline fixture directory the way the update service would answer: a policy,
// the manifest it names and the objects of every file.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/file_helpers.h"
#include "support/release_builder.h"

namespace tallybell::测试 {

struct 夹具策略 {
  unsigned long long policyVersion = 1;
  std::string assignmentId = "assign-1";
  std::string targetReleaseId = "r2";
  std::string checkAfter = "2026-12-06T12:00:00Z";
  std::vector<std::string> resultReportUrls = {"https://results.tallybell.example/update/v1/results"};
};

// The policy document for 策略 naming a manifest with the given hash.
inline std::string 生成策略文本(const 夹具策略& 策略, const std::string& 清单哈希) {
  std::string 地址;
  for (const auto& 项 : 策略.resultReportUrls) 地址 += (地址.empty() ? "\"" : ",\"") + 项 + "\"";
  return "{\"policyVersion\":" + std::to_string(策略.policyVersion) + ",\"assignmentId\":\"" + 策略.assignmentId +
         "\",\"action\":\"update\",\"targetReleaseId\":\"" + 策略.targetReleaseId +
         "\",\"manifestUrl\":\"https://updates.tallybell.example/releases/" + 策略.targetReleaseId +
         "/manifest.json\",\"manifestHash\":\"" + 清单哈希 + "\",\"checkAfter\":\"" + 策略.checkAfter + "\"" +
         (策略.resultReportUrls.empty() ? "" : ",\"resultReportUrls\":[" + 地址 + "]") + "}";
}

// Writes policy.json, manifest.json (for 策略.targetReleaseId and 文件) and every file as an
// object under 夹具目录. Returns the manifest text.
inline std::string 写入更新夹具(const std::filesystem::path& 夹具目录, const 夹具策略& 策略, const 发布内容& 文件) {
  const std::string 清单 = 生成发布清单文本(策略.targetReleaseId, 文件);
  写测试文件(夹具目录 / "manifest.json", 清单);
  写测试文件(夹具目录 / "policy.json", 生成策略文本(策略, 测试SHA256(清单)));
  for (const auto& [路径, 内容] : 文件) 写测试文件(夹具目录 / "objects" / (测试SHA256(内容) + ".object"), 内容);
  return 清单;
}

}  // namespace tallybell::测试
