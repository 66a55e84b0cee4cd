// The local version state: which releases exist for this installation and in which role,
// with the bookkeeping of the last accepted policy and of failed updates. Stored as
// state.txt (version 2 JSON with generation and checksum; the line-oriented version 1 is
// still read) and state.txt.bak (the previous generation).
//
// Parse, serialise, load and save report failure without a message; the calling code
// chooses the message and code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "documents/json_value.h"

namespace tallybell {

// A default-constructed record is the default record: all strings and lists empty, all
// numbers 0. An empty release field means "none".
struct 本地版本状态 {
  std::uint64_t generation = 0;
  std::wstring activeRelease;
  std::wstring lastGoodRelease;
  std::wstring pendingRelease;
  std::wstring attemptingRelease;
  std::wstring rescueRelease;
  std::wstring legacyInstallPath;
  std::vector<std::wstring> confirmedHistory;
  std::vector<std::wstring> quarantined;
  std::uint64_t policyVersion = 0;
  std::string policyContentId;  // UTF-8
  std::string nextCheckAt;      // UTF-8, "YYYY-MM-DDTHH:MM:SSZ" or empty
  std::uint64_t updateFailureCount = 0;
  // Compact JSON text of an object holding every top-level member of the stored document
  // that this record does not know; empty or "{}" when there are none.
  std::string preservedFields;
};

struct 本地版本状态路径 {
  std::wstring 主文件;    // stateRoot + separator + "state.txt"
  std::wstring 备份文件;  // stateRoot + separator + "state.txt.bak"
};

// The largest generation; a record that has it can no longer be changed and saved.
inline constexpr std::uint64_t 最大代次 = 18446744073709551615u;

// Parses version 1 text (beginning with exactly "stateVersion=1\n") or a version 2
// document, verifying its checksum. *输出 is replaced only on success; its preservedFields
// is "{}" for a version 2 document without unknown members and empty for version 1.
bool 解析本地版本状态(const std::string& 文本, 本地版本状态* 输出);

// The canonical version 2 document for 状态 (generation 0 is written as 1), with its
// checksum; empty when the record cannot be written (an unpaired surrogate, or
// preservedFields that is not a JSON object).
std::string 序列化本地版本状态(const 本地版本状态& 状态);

// The lowercase hexadecimal SHA-256 of the canonical serialisation of 文档 without its
// "checksum" member. False when 文档 is not an object or cannot be serialised.
bool 计算本地版本状态校验和(const Json值& 文档, std::string* 十六进制);

本地版本状态路径 取本地版本状态路径(const std::wstring& stateRoot);

// Reads one state file (at most 64 MiB) and parses it. On success *文本 holds the file's
// bytes and *代次 its record's generation (0 for version 1).
bool 加载单个本地版本状态(const std::wstring& 路径, std::string* 文本, std::uint64_t* 代次);

// Loads main and backup below stateRoot and chooses the backup only when its generation is
// strictly greater than main's, or when main is unusable (missing or damaged). False when
// neither file is usable, or when either is there but cannot be read at the moment;
// *文本 and *状态 are then untouched.
bool 加载本地版本状态(const std::wstring& stateRoot, std::string* 文本, 本地版本状态* 状态);

// Writes 文本 atomically to 主文件, the previous main becoming 备份文件. Refuses a text with
// a NUL byte or one that does not parse, so nothing unreadable is ever written.
bool 保存本地版本状态(const std::wstring& 主文件, const std::wstring& 备份文件,
                      const std::string& 文本);

// True when 发布标识 equals an entry of quarantined exactly (case-sensitive).
bool 已隔离(const 本地版本状态& 状态, const std::wstring& 发布标识);

// The generation rule: adds 1 to the generation. False, with the record unchanged, when it
// already is 最大代次; the caller then fails with its own message.
bool 递增代次(本地版本状态* 状态);

}  // namespace tallybell
