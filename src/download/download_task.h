// One resumable, verified download of a content-addressed object into the object cache.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "download/checkpoint.h"
#include "transport/download_transport.h"

namespace tallybell {

// The per-object lock is this prefix + the object's sha256; the platform adds its session
// namespace ("Local\" on Windows).
inline constexpr wchar_t 下载对象锁前缀[] = L"Tallybell-Download-";
// At most this many transfers run at once in the session.
inline constexpr wchar_t 下载名额名称[] = L"Tallybell-DownloadSlots-v1";
inline constexpr std::uint32_t 下载名额数 = 3;

struct 下载对象配置 {
  std::wstring objectDirectory;            // created if missing
  std::string sha256;                      // 64 lowercase hex characters
  std::uint64_t size = 0;                  // exact size in bytes
  std::vector<std::wstring> downloadUrls;  // at least one, each a valid download address
  std::uint32_t totalTimeoutMs = 0;        // total time limit, not 0
};

struct 下载任务结果 {
  std::wstring objectPath;          // <objectDirectory>/<sha256>.object
  bool fromCache = false;           // a valid object was there and nothing was transferred
  std::uint64_t downloadedSize = 0; // size when this run completed the object, else 0
  std::uint32_t retryCount = 0;     // the checkpoint's attempts after this run (clamped)
};

class 下载任务 {
 public:
  // Makes <sha256>.object present and verified. Serialises with other processes on the
  // object's named lock, reuses a valid object (setting an invalid one aside), resumes
  // <sha256>.part as its checkpoint <sha256>.part.json allows, and tries each URL once,
  // starting with the one the checkpoint names. Never publishes an object whose size and
  // SHA-256 were not verified.
  // True: result describes the object and *error is cleared. False: *error holds one
  // sentence; result is filled only when every URL failed. What was received stays in
  // .part with a checkpoint that never claims more than .part durably holds.
  static bool 执行(const 下载对象配置& config, 下载传输* transport, 下载任务结果* result,
                   std::wstring* error);
};

}  // namespace tallybell
