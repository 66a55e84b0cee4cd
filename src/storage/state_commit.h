// Committing the local version state when more than one run may write it. Runs started from
// different environments do not share a named-lock namespace, so the coordinator lock does
// not keep them apart; every commit therefore holds the state root's own lock and writes
// only when the state on disk is still the one it was built from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tallybell {

// <stateRoot>/state/state.lock
std::wstring 状态根锁路径(const std::wstring& stateRoot);

// Writes 文本 as the new state (the previous main becoming the backup) when, under the state
// root's lock, the state that loads now has generation 读到的代次; with no 读到的代次, when
// no usable state is there (the caller rebuilt it). False, with nothing written, when the
// lock cannot be taken, the state changed since the caller read it, or the save fails.
bool 提交本地版本状态(const std::wstring& stateRoot, std::optional<std::uint64_t> 读到的代次,
                      const std::string& 文本);

}  // namespace tallybell
