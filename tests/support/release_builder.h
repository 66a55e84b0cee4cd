// Lays out release directories the way the update core commits them: the release files,
// the manifest that lists them, and the completion marker that names that manifest.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace tallybell::测试 {

// The files of a release in manifest order: manifest path ('/' separators) and content.
using 发布内容 = std::vector<std::pair<std::string, std::string>>;

enum class 完成标记 {
  写入,
  省略,
};

// SHA-256 of 数据 in lowercase hexadecimal.
std::string 测试SHA256(const std::string& 数据);

// A valid manifest (compact, members sorted): formatVersion 1, 发布标识 and one entry per
// file with its real sha256 and size and one download URL.
std::string 生成发布清单文本(const std::string& 发布标识, const 发布内容& 文件);

// The completion marker as the assembly writes it, with files in manifest order.
std::string 生成完成标记文本(const std::string& 发布标识, const std::string& 清单哈希,
                             const 发布内容& 文件);

// Writes 目录 (created with its parents): every file at its path, 清单文本 as
// release.manifest.json and, unless 标记 says otherwise, complete.json naming 发布标识 and
// the digest of 清单文本. Returns that digest, the hash the release is checked against.
std::string 写入发布目录(const std::filesystem::path& 目录, const std::string& 清单文本,
                         const std::string& 发布标识, const 发布内容& 文件,
                         完成标记 标记 = 完成标记::写入);

// The same with the manifest built by 生成发布清单文本.
std::string 写入发布目录(const std::filesystem::path& 目录, const std::string& 发布标识,
                         const 发布内容& 文件, 完成标记 标记 = 完成标记::写入);

}  // namespace tallybell::测试
