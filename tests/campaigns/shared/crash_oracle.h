// What must hold on disk after a background check was killed at any moment, checked with
// the update core's own readers: the state loads with its checksum and never goes back,
// release-named directories are complete, the installed release stays the active one, the
// cache holds only verified objects besides resumable parts, and every queued result event
// is a complete document. And what a run that reported a prepared release must have left.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/release_builder.h"

namespace tallybell::崩溃测试 {

// What the roots must agree with: the release being prepared and the installation before.
struct 预期 {
  std::filesystem::path 程序根, 状态根, 缓存根;
  std::string 目标发布;      // the policy's target
  std::string 策略文本;      // the resolve answer, byte for byte
  std::map<std::string, std::string> 对象;  // sha256 → content of every release file
  // Release directories planted before the first run, relative path → content; an
  // incomplete one may stay under its own name (untouched) or be set aside whole.
  std::map<std::string, std::map<std::string, std::string>> 原有目录;
  std::string 已装版本;      // active and last good before the run; empty: a new installation
};

// What earlier checks of the same installation saw; the oracle carries it forward.
struct 观察记录 {
  bool 有状态 = false;
  std::uint64_t 代次 = 0;
  std::uint64_t 策略版本 = 0;
  std::string 设备标识;
  std::set<std::string> 排队事件;  // every event id ever seen in the queue
  std::uint64_t 遗留临时文件 = 0;   // ".tmp-" files of interrupted atomic writes, last seen
};

// Checks the roots; returns one line per violated promise (empty when all hold).
std::vector<std::string> 检查现场(const 预期& 预期值, 观察记录* 记录);

// After a run that reported a prepared release: the target exactly as published (文件,
// the manifest, the completion marker), pending in a state with the policy's version, and
// the policy stored.
std::vector<std::string> 检查已准备(const 预期& 预期值, const std::string& 清单文本, const 测试::发布内容& 文件,
                                   std::uint64_t 策略版本);

}  // namespace tallybell::崩溃测试
