// --report-result: one delivery pass over the queued result events.
#include "app/commands.h"
#include "common/codes.h"
#include "common/text.h"
#include "app/result_output.h"
#include "documents/policy.h"
#include "transport/json_http_client.h"
#include "results/result_reporting.h"
#include "storage/default_roots.h"
#include "storage/paths.h"
#include "storage/files.h"
#include "transport/offline_fixture.h"

namespace tallybell {
namespace {

// The result URLs of the stored current policy; empty when it cannot be read or parsed.
std::vector<std::wstring> 当前策略结果地址(const std::wstring& stateRoot) {
  std::vector<std::wstring> 地址;
  std::string 文本;
  版本策略 策略;
  if (读取整个文件(连接路径(连接路径(stateRoot, L"state"), L"current-policy.json"), &文本) &&
      解析版本策略(文本, &策略)) {
    for (const auto& 项 : 策略.resultReportUrls) 地址.push_back(逐字节加宽(项));
  }
  return 地址;
}

}  // namespace

std::uint32_t 运行结果回报命令(const 命令行参数& 命令) {
  默认目录 目录;
  if (!取默认目录(&目录)) {
    写控制台("错误 1001：无法确定默认更新目录。\n");
    return 默认目录不可用;
  }
  std::wstring 状态根 = 目录.stateRoot;
  if (const auto 值 = 命令.值(L"--state-root")) 状态根 = *值;
  std::vector<std::wstring> 地址 = 命令.结果地址();
  if (地址.empty()) 地址 = 当前策略结果地址(状态根);
  if (地址.empty()) {
    写控制台("错误 3001：当前策略没有结果回报地址，可使用 --result-url 指定。\n");
    return 参数无效;
  }

  结果回报计数 计数;
  std::wstring 错误;  // the code line is the outcome; the sentence stays unprinted
  std::uint32_t 代码 = 成功;
  if (const auto 夹具 = 命令.值(L"--offline-fixture")) {
    离线更新夹具传输 传输(*夹具);
    代码 = 回报更新结果(状态根, 地址, &传输, &计数, &错误);
  } else {
    JsonHttp客户端 传输;
    代码 = 回报更新结果(状态根, 地址, &传输, &计数, &错误);
  }
  if (代码 == 成功) {
    写控制台("result report completed sent=" + 十进制(计数.sent) + " pending=" + 十进制(计数.pending) + "\n");
  } else {
    写控制台("result report failed code=" + 十进制(代码) + " pending=" + 十进制(计数.pending) + "\n");
  }
  return 代码;
}

}  // namespace tallybell
