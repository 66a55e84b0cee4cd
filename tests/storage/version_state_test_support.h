// Shared helpers of the local version state tests.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "documents/json_output.h"
#include "documents/json_value.h"
#include "storage/version_state.h"

namespace tallybell::测试 {

// A record that uses every field.
inline 本地版本状态 完整记录(std::uint64_t 代次 = 7) {
  本地版本状态 状态;
  状态.generation = 代次;
  状态.activeRelease = L"1.0.0";
  状态.lastGoodRelease = L"0.9.0";
  状态.pendingRelease = L"1.1.0";
  状态.attemptingRelease = L"";
  状态.rescueRelease = L"0.8.0";
  状态.legacyInstallPath = L"C:\\Program Files\\Tallybell\\\u65e7\u7248";
  状态.confirmedHistory = {L"0.8.0", L"0.9.0"};
  状态.quarantined = {L"1.0.1"};
  状态.policyVersion = 42;
  状态.policyContentId = "sha256:abc";
  状态.nextCheckAt = "2024-05-01T12:00:00Z";
  状态.updateFailureCount = 3;
  状态.preservedFields = "{\"note\":\"hello\"}";
  return 状态;
}

inline void 期望记录相同(const 本地版本状态& 实际, const 本地版本状态& 期望) {
  EXPECT_EQ(实际.generation, 期望.generation);
  EXPECT_EQ(实际.activeRelease, 期望.activeRelease);
  EXPECT_EQ(实际.lastGoodRelease, 期望.lastGoodRelease);
  EXPECT_EQ(实际.pendingRelease, 期望.pendingRelease);
  EXPECT_EQ(实际.attemptingRelease, 期望.attemptingRelease);
  EXPECT_EQ(实际.rescueRelease, 期望.rescueRelease);
  EXPECT_EQ(实际.legacyInstallPath, 期望.legacyInstallPath);
  EXPECT_EQ(实际.confirmedHistory, 期望.confirmedHistory);
  EXPECT_EQ(实际.quarantined, 期望.quarantined);
  EXPECT_EQ(实际.policyVersion, 期望.policyVersion);
  EXPECT_EQ(实际.policyContentId, 期望.policyContentId);
  EXPECT_EQ(实际.nextCheckAt, 期望.nextCheckAt);
  EXPECT_EQ(实际.updateFailureCount, 期望.updateFailureCount);
  EXPECT_EQ(实际.preservedFields, 期望.preservedFields);
}

// The canonical document of 完整记录(代次), changed by 修改 and written back compactly,
// with the checksum recomputed when 重算校验和 says so.
inline std::string 改写文档(const std::function<void(Json值&)>& 修改, bool 重算校验和,
                            std::uint64_t 代次 = 7) {
  Json值 文档;
  EXPECT_TRUE(Json值::解析(序列化本地版本状态(完整记录(代次)), &文档));
  修改(文档);
  if (重算校验和) {
    std::string 校验和;
    EXPECT_TRUE(计算本地版本状态校验和(文档, &校验和));
    文档.设置成员("checksum", Json值::字符串(校验和));
  }
  std::string 文本;
  EXPECT_TRUE(序列化JSON(文档, &文本));
  return 文本;
}

}  // namespace tallybell::测试
