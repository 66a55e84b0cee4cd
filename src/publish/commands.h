// The four commands of the publishing tool. Each returns the tool's exit code and prints
// its own result and error lines.
#pragma once

#include <cstdint>

#include "publish/options.h"
#include "publish/publish_output.h"

namespace tallybell {

// release: hashes the build, stores its objects, writes releases/<id>/manifest.json and
// prints the manifest's SHA-256.
std::uint32_t 运行发布命令(const 发布命令行& 命令行);
// policy: writes a policy naming a manifest, with the manifest's hash.
std::uint32_t 运行策略命令(const 发布命令行& 命令行);
// fixture: lays out an offline fixture directory from published content.
std::uint32_t 运行夹具命令(const 发布命令行& 命令行);
// key generate: writes a new signing key and its public key text.
std::uint32_t 运行密钥生成命令(const 发布命令行& 命令行);
// verify: re-hashes every object and manifest of a content directory.
std::uint32_t 运行校验命令(const 发布命令行& 命令行);

}  // namespace tallybell
