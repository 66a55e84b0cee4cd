// Lays out an offline fixture directory the way the update service would answer: a policy,
// the manifest it names and the objects of every file.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

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
std::string 生成策略文本(const 夹具策略& 策略, const std::string& 清单哈希);

// Writes policy.json, manifest.json (for 策略.targetReleaseId and 文件) and every file as an
// object under 夹具目录. Returns the manifest text.
std::string 写入更新夹具(const std::filesystem::path& 夹具目录, const 夹具策略& 策略, const 发布内容& 文件);

}  // namespace tallybell::测试
