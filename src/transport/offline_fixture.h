// A local directory that stands in for the update service: it answers the resolve request,
// manifest fetches, result reports and object downloads from files, in the shapes the real
// service gives, so a whole background check or result report can run without a network.
//
// Layout below the fixture directory:
//   policy.json, default-policy.json        resolve answers (the second when the first
//                                           cannot be read)
//   manifest.json,
//   releases/<releaseId>/manifest.json      manifest answers (likewise)
//   reported-results.ndjson (+ .bak)        every result report body, one per line
//   objects/<sha256>.object,
//   objects/sha256/<sha256>.object          object bytes (likewise)
#pragma once

#include <string>
#include <utility>

#include "transport/download_transport.h"
#include "transport/json_http_transport.h"

namespace tallybell {

enum class 离线路由 {
  解析,  // POST of the resolve path
  结果,  // POST of the results path
  清单,  // any GET
  拒绝,
};

// The path of a URL: from the first '/' after "://" up to the first '?' or '#' after it, or
// to the end. False (and *路径 untouched) without "://" or without a '/' after it.
bool 取地址路径(const std::wstring& 地址, std::wstring* 路径);

// The route of a request; the method is compared ignoring ASCII case, the path exactly.
离线路由 选择离线路由(const std::wstring& 方法, const std::wstring& 地址);

// The release of a URL ending in "/releases/<releaseId>/manifest.json" with nothing after
// it. The identifier is 1 to 64 characters of [A-Za-z0-9._-] and neither "." nor "..",
// because it becomes a directory name. False (and *标识 untouched) otherwise.
bool 取清单地址发布标识(const std::wstring& 地址, std::wstring* 标识);

// The object hash named by the last segment of a download URL (query and fragment cut
// off, an optional ".object" ending dropped): 64 lowercase hexadecimal characters. False
// (and *哈希 untouched) otherwise.
bool 取下载地址对象哈希(const std::wstring& 地址, std::wstring* 哈希);

class 离线更新夹具传输 : public JsonHttp传输, public 下载传输 {
 public:
  explicit 离线更新夹具传输(std::wstring 夹具目录 = {}) : fixtureDir(std::move(夹具目录)) {}

  // Answers from the fixture's files by the route of the request: 200 with the file's
  // bytes for resolve and manifest, 204 for a result report after appending its body as
  // one line. Uses only method, url, body and maxResponseBytes of the request. The response
  // is written only on success.
  bool 发送(const JsonHttp请求& 请求, JsonHttp响应* 响应, std::wstring* 错误) override;

  // Streams the object named by the URL from rangeStart to its end, 200 for the whole
  // object and 206 with a content range otherwise. A refusing head callback leaves its own
  // message; a refusing body callback is reported as a failed read.
  bool 下载(const 下载请求& 请求, const 下载响应回调& 响应回调, const 下载数据回调& 数据回调,
            std::wstring* 错误) override;

  std::wstring fixtureDir;  // no trailing separator
};

}  // namespace tallybell
