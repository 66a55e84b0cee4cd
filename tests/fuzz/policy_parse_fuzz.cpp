// Feeds arbitrary bytes to the version policy parse. Besides the sanitizers it checks the
// parse's contract: a failure leaves the output alone and gives exactly one non-empty
// message; a success clears the message and yields a policy that obeys every rule, and
// that policy written back as a document parses to the same canonical content text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "documents/json_value.h"
#include "documents/sha256.h"
#include "documents/manifest.h"
#include "documents/policy.h"

#include "fuzz_support.h"

namespace {

using tallybell::版本策略;

void 检查规则(const 版本策略& 策略) {
  要求(策略.policyVersion > 0);
  要求(策略.action == tallybell::策略动作::update);
  要求(!策略.assignmentId.empty() && 策略.assignmentId.find('\0') == std::string::npos);
  要求(!策略.targetReleaseId.empty() && 策略.targetReleaseId.size() <= 128);
  要求(tallybell::是HTTPS地址(策略.manifestUrl, tallybell::地址形式::服务) ||
       tallybell::是内容主机地址(策略.manifestUrl));
  要求(tallybell::是小写SHA256文本(策略.manifestHash));
  要求(策略.checkAfter.size() >= 20);
  要求(策略.resultReportUrls.size() <= 3);
  for (const std::string& 地址 : 策略.resultReportUrls) {
    要求(tallybell::是HTTPS地址(地址, tallybell::地址形式::服务));
  }
}

// The policy as the canonical document; parsing it again must give the same content.
void 检查往返(const 版本策略& 策略) {
  nlohmann::json 文档 = {{"policyVersion", 策略.policyVersion},
                         {"assignmentId", 策略.assignmentId},
                         {"action", tallybell::策略动作文本(策略.action)},
                         {"targetReleaseId", 策略.targetReleaseId},
                         {"manifestUrl", 策略.manifestUrl},
                         {"manifestHash", 策略.manifestHash},
                         {"checkAfter", 策略.checkAfter}};
  if (!策略.resultReportUrls.empty()) 文档["resultReportUrls"] = 策略.resultReportUrls;
  const std::string 文本 = 文档.dump();
  版本策略 再解析;
  std::wstring 错误 = L"stale";
  要求(tallybell::解析版本策略(文本, &再解析, &错误));
  要求(错误.empty());
  要求(tallybell::策略内容标识(再解析) == tallybell::策略内容标识(策略));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* 数据, std::size_t 大小) {
  const std::string 文本(reinterpret_cast<const char*>(数据), 大小);
  版本策略 策略;
  策略.assignmentId = "sentinel";
  策略.resultReportUrls = {"keep"};
  std::wstring 错误 = L"stale";
  if (!tallybell::解析版本策略(文本, &策略, &错误)) {
    要求(!错误.empty() && 错误 != L"stale");
    要求(策略.policyVersion == 0 && 策略.assignmentId == "sentinel");
    要求(策略.resultReportUrls.size() == 1 && 策略.resultReportUrls[0] == "keep");
    // Without a message pointer the parse must reach the same verdict.
    版本策略 无消息;
    要求(!tallybell::解析版本策略(文本, &无消息, nullptr));
    return 0;
  }
  要求(错误.empty());
  检查规则(策略);
  检查往返(策略);
  return 0;
}
