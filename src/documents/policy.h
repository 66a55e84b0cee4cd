// The version policy: the update service's answer to a resolve request, naming the release
// this installation is assigned to, where its manifest is and what it must hash to, when
// to check again and where to report results.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tallybell {

// What the client is told to do. The only action this client understands.
enum class 策略动作 {
  update,
};

// A parsed and completely validated policy.
struct 版本策略 {
  std::uint64_t policyVersion = 0;  // greater than 0
  std::string assignmentId;         // 分配标识有效
  策略动作 action = 策略动作::update;
  std::string targetReleaseId;  // 1 to 128 bytes of [A-Za-z0-9._-]
  std::string manifestUrl;      // HTTPS (service form) or the plain-HTTP content host
  std::string manifestHash;     // 64 lowercase hexadecimal characters
  std::string checkAfter;       // ISO 8601 with a zone, as written
  std::vector<std::string> resultReportUrls;  // document order; empty when absent
  // The publisher's signature of the manifest bytes, as text; empty when absent or not a
  // string. Only an installation with trusted keys reads it, so it is not validated here
  // and is no part of the content identity below.
  std::string manifestSignature;
};

// An assignment id every result event can carry: 1 to 256 bytes without NUL, CR or LF. A
// policy with any other id is invalid, so that no attempt goes unreported.
bool 分配标识有效(const std::string& 标识);

// The action as it is written in a policy document.
const char* 策略动作文本(策略动作 动作);

// Validates the policy text completely; the first failed check ends the parse. On success
// every field of *输出 is replaced and *错误 is cleared; on failure *输出 is untouched and
// *错误 (when given) holds one fixed message.
bool 解析版本策略(const std::string& 文本, 版本策略* 输出, std::wstring* 错误 = nullptr);

// The canonical text by which two policies of the same policyVersion are recognised as
// equal: the decimal version and ';', then every value (the action text included, result
// URLs last in order) as its decimal byte length, ':', its bytes and ';'.
std::string 策略内容标识(const 版本策略& 策略);

}  // namespace tallybell
