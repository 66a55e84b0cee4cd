// The download checkpoint "<sha256>.part.json": how many bytes of "<sha256>.part" are valid
// and where the rotation over the object's URLs stands.
#pragma once

#include <cstdint>
#include <string>

namespace tallybell {

struct 下载断点状态 {
  std::uint64_t downloaded = 0;  // bytes at the start of .part that are valid
  std::string hash;              // the object's sha256
  std::string lastError;         // UTF-8 message of the last failed attempt; empty while one runs
  std::uint64_t retryCount = 0;  // transfer attempts so far, over all runs
  std::uint64_t targetSize = 0;  // the object's size
  std::uint64_t urlIndex = 0;    // URL of the running attempt, or the next one after a failure
};

// Reads the checkpoint with the strict JSON reader: the root must be an object, hash and
// lastError strings, the four counters non-negative integers; other members are ignored.
// False (and *输出 untouched) when the file cannot be read or breaks a rule.
bool 读取下载断点状态(const std::wstring& 路径, 下载断点状态* 输出);

// The compact document with the six keys in ascending order. False (and *输出 cleared)
// when hash or lastError is not valid UTF-8.
bool 序列化下载断点状态(const 下载断点状态& 断点, std::string* 输出);

// Stores the checkpoint by atomic replacement, the previous version kept at 备份.
bool 写入下载断点状态(const std::wstring& 路径, const std::wstring& 备份, const 下载断点状态& 断点);

}  // namespace tallybell
