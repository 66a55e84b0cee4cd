// A machine for quarantine recovery tests: a program root with real release directories,
// a state root, a policy that assigns release 2.4.0, and a diagnostic channel created the
// way the application creates it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "coordinator/quarantine_recovery.h"
#include "support/diagnostic_channel_fixture.h"
#include "support/file_helpers.h"
#include "support/release_builder.h"
#include "support/state_files.h"
#include "support/temp_dir.h"

namespace tallybell::测试 {

inline constexpr char 隔离测试通道[] = "quarantine-test";

// One line of the channel: its stage, code and fields text (timestamp and task dropped).
struct 诊断记录 {
  std::string 阶段;
  std::uint32_t 代码 = 0;
  std::string 字段文本;
  nlohmann::json 字段() const { return nlohmann::json::parse(字段文本); }
};

inline std::vector<诊断记录> 拆分诊断行(const std::string& 文本) {
  std::vector<诊断记录> 记录;
  const std::string 任务 = std::string(" task=") + 隔离测试通道 + " stage=";
  std::size_t 开始 = 0;
  std::size_t 行尾 = 0;
  while ((行尾 = 文本.find("\r\n", 开始)) != std::string::npos) {
    const std::string 行 = 文本.substr(开始, 行尾 - 开始);
    开始 = 行尾 + 2;
    const std::size_t 阶段位置 = 行.find(任务);
    const std::size_t 代码位置 = 行.find(" code=");
    const std::size_t 字段位置 = 行.find(' ', 代码位置 + 1);
    if (阶段位置 == std::string::npos || 代码位置 == std::string::npos || 字段位置 == std::string::npos) {
      ADD_FAILURE() << "unexpected line: " << 行;
      continue;
    }
    const std::size_t 阶段起点 = 阶段位置 + 任务.size();
    记录.push_back({行.substr(阶段起点, 代码位置 - 阶段起点),
                    static_cast<std::uint32_t>(std::stoul(行.substr(代码位置 + 6, 字段位置 - 代码位置 - 6))),
                    行.substr(字段位置 + 1)});
  }
  return 记录;
}

class 隔离恢复测试 : public ::testing::Test {
 protected:
  隔离恢复测试() {
    配置_.programRoot = 目录_.宽路径("program");
    配置_.stateRoot = 目录_.宽路径("state");
    配置_.recoverUnusableState = true;
    配置_.diagnosticId = 隔离测试通道;
    策略_.policyVersion = 5;
    策略_.assignmentId = "as-5";
    策略_.targetReleaseId = "2.4.0";
    策略_.manifestHash = 写发布("2.4.0");
    策略_.manifestUrl = "https://content.example/releases/2.4.0/manifest.json";
    策略_.checkAfter = "2026-12-05T01:02:03Z";
    状态_.generation = 4;
    状态_.quarantined = {L"2.4.0"};
  }

  void SetUp() override { ASSERT_TRUE(通道_.已创建()); }

  static 发布内容 发布文件(const std::string& 标识) {
    return {{"Tallybell.exe", "exe of " + 标识}, {"lib/core.dll", "core of " + 标识}};
  }
  // A complete release directory; returns the hash of its manifest.
  std::string 写发布(const std::string& 标识) {
    return 写入发布目录(发布路径(标识), 标识, 发布文件(标识));
  }
  std::filesystem::path 发布路径(const std::string& 标识, const std::string& 名称 = {}) const {
    const auto 目录 = 目录_.子路径("program/releases/" + 标识);
    return 名称.empty() ? 目录 : 目录 / 名称;
  }
  std::wstring 目标目录() const { return 发布路径("2.4.0").wstring(); }
  std::string 指纹() const { return "recovery-v1|2.4.0|" + 策略_.manifestHash; }

  std::vector<诊断记录> 诊断行() const { return 拆分诊断行(通道_.文本()); }

  测试临时目录 目录_;
  测试诊断通道 通道_{隔离测试通道};
  更新协调器配置 配置_;
  版本策略 策略_;
  本地版本状态 状态_;
};

}  // namespace tallybell::测试
