// A link is never a release, a release file, a staging folder, a queue folder or a queue
// entry: each case puts one where the update core looks and checks that nothing outside
// the roots is read, sent, removed or taken for part of an installation. A FIFO in a
// release to copy ends the copy at once instead of hanging it under the coordinator lock.
// A link where a lock file belongs is refused, and neither what it points at nor the place
// it names is created, truncated or written; a lock name cannot reach outside the lock
// directory.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "coordinator/coordinator_steps.h"
#include "platform/named_mutex.h"
#include "platform/named_semaphore.h"
#include "platform/posix/user_namespace.h"
#include "release/offline_preparation.h"
#include "release/staging.h"
#include "release/verification.h"
#include "results/result_reporting.h"
#include "storage/coordinator_lock.h"
#include "support/lock_namespace.h"
#include "support/release_builder.h"
#include "support/state_files.h"
#include "support/temp_dir.h"
#include "support/tree_compare.h"
#include "transport/offline_fixture.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

struct 链接场景 {
  const char* 名称;
  // Lays out the link below 根 (outside material goes to 根/outside), runs the update core
  // and returns what it must not have taken: true when the link was honoured.
  std::function<bool(const fs::path& 根)> 链接被采信;
};

const 发布内容 完整版本 = {{"Tallybell.exe", "exe"}, {"data/readme.txt", "readme"}};

// Writes the fixture release (through a link, should one be in place) and prepares it.
std::uint32_t 离线准备(const fs::path& 根, const char* 发布标识) {
  写目录树(根 / "fixture" / "releases" / 发布标识, {{"Tallybell.exe", "new"}, {"complete.json", "{}"}});
  本地版本状态 状态;
  状态.generation = 1;
  写测试文件(根 / "state" / "state.txt", 序列化本地版本状态(状态));
  const 离线准备请求 请求{(根 / "fixture").wstring(), (根 / "program").wstring(), (根 / "state").wstring(),
                         fs::path(发布标识).wstring(), 30000, {}};
  return 准备离线版本(请求, nullptr);
}

std::size_t 回报并计数(const fs::path& 根) {
  离线更新夹具传输 传输((根 / "fixture").wstring());
  结果回报计数 计数;
  回报更新结果((根 / "state").wstring(), {L"https://results.tallybell.example/update/v1/results"}, &传输, &计数,
               nullptr);
  return fs::exists(根 / "fixture" / "reported-results.ndjson") ? 1 : 0;
}

const 链接场景 场景表[] = {
    {"staging folder linked elsewhere: its prepare-/assemble- entries stay",
     [](const fs::path& 根) {
       写目录树(根 / "outside", {{"prepare-1-2/a", "a"}, {"assemble-3-4/b", "b"}});
       fs::create_directories(根 / "state");
       fs::create_directory_symlink(根 / "outside", 根 / "state" / "staging");
       清理遗留暂存目录((根 / "state").wstring());
       return 读取目录树(根 / "outside").size() != 4;
     }},
    {"queue folder linked elsewhere: nothing there is sent or removed",
     [](const fs::path& 根) {
       写目录树(根 / "outside", {{"e1.json", "{\"eventId\":\"e1\"}"}});
       fs::create_directories(根 / "state" / "results");
       fs::create_directory_symlink(根 / "outside", 根 / "state" / "results" / "pending");
       return 回报并计数(根) != 0 || !fs::exists(根 / "outside" / "e1.json");
     }},
    {"queue entry linked to an outside file: not sent, link and file stay",
     [](const fs::path& 根) {
       写目录树(根 / "outside", {{"secret.json", "{\"eventId\":\"secret\"}"}});
       fs::create_directories(根 / "state" / "results" / "pending");
       fs::create_symlink(根 / "outside" / "secret.json", 根 / "state" / "results" / "pending" / "e2.json");
       return 回报并计数(根) != 0 || !fs::is_symlink(根 / "state" / "results" / "pending" / "e2.json");
     }},
    {"release folder linked to a complete release: not usable, not offered for reuse",
     [](const fs::path& 根) {
       写入发布目录(根 / "outside" / "r1", "r1", 完整版本);
       fs::create_directories(根 / "program" / "releases");
       fs::create_directory_symlink(根 / "outside" / "r1", 根 / "program" / "releases" / "r1");
       本地版本状态 状态;
       状态.activeRelease = L"r1";
       return 发布目录可用((根 / "program" / "releases" / "r1").wstring()) ||
              !收集已有版本((根 / "program").wstring(), 状态).empty();
     }},
    {"manifest and marker linked from a real release folder: not usable",
     [](const fs::path& 根) {
       写入发布目录(根 / "outside" / "r1", "r1", 完整版本);
       写目录树(根 / "program" / "releases" / "r1", {{"Tallybell.exe", "exe"}, {"data/readme.txt", "readme"}});
       for (const char* 名称 : {"release.manifest.json", "complete.json"}) {
         fs::create_symlink(根 / "outside" / "r1" / 名称, 根 / "program" / "releases" / "r1" / 名称);
       }
       return 发布目录可用((根 / "program" / "releases" / "r1").wstring());
     }},
    {"offline target whose marker files are links: not taken as in place",
     [](const fs::path& 根) {
       写目录树(根 / "outside", {{"Tallybell.exe", "x"}, {"complete.json", "{}"}});
       fs::create_directories(根 / "program" / "releases" / "r3");
       for (const char* 名称 : {"Tallybell.exe", "complete.json"}) {
         fs::create_symlink(根 / "outside" / 名称, 根 / "program" / "releases" / "r3" / 名称);
       }
       return 离线准备(根, "r3") == 0;
     }},
    {"offline source release folder linked elsewhere: 3002, nothing copied",
     [](const fs::path& 根) {
       fs::create_directories(根 / "outside" / "r4");
       fs::create_directories(根 / "fixture" / "releases");
       fs::create_directory_symlink(根 / "outside" / "r4", 根 / "fixture" / "releases" / "r4");
       return 离线准备(根, "r4") != 3002 || fs::exists(根 / "program");
     }},
    {"FIFO in an offline source release: 3005, no release, no staging left",
     [](const fs::path& 根) {
       fs::create_directories(根 / "fixture" / "releases" / "r5");
       ::mkfifo((根 / "fixture" / "releases" / "r5" / "pipe").c_str(), 0600);
       return 离线准备(根, "r5") != 3005 || fs::exists(根 / "program" / "releases" / "r5") ||
              !(!fs::exists(根 / "state" / "staging") || fs::is_empty(根 / "state" / "staging"));
     }},
    {"lock files linked elsewhere, lock names leaving the directory: refused, nothing written there",
     [](const fs::path& 根) {
       写目录树(根 / "outside", {{"victim", "keep"}});
       std::string 目录;
       if (!platform::取用户命名空间目录(&目录)) return true;
       const fs::path 命名空间(目录);
       fs::create_symlink(根 / "outside" / "victim", 命名空间 / "Tallybell-UpdateCoordinator-v1.lock");
       fs::create_symlink(根 / "outside" / "planted", 命名空间 / "Tallybell-Download-x.lock");
       fs::create_symlink(根 / "outside" / "slot", 命名空间 / "Tallybell-DownloadSlots-v1.1.lock");
       platform::命名互斥体 协调器锁, 对象锁;
       platform::命名信号量 名额;
       bool 采信 = 协调器锁.打开或创建(协调器锁名称) || 协调器锁.加锁(0) != platform::加锁结果::错误 ||
                   对象锁.打开或创建(L"Tallybell-Download-x") || 名额.打开或创建(L"Tallybell-DownloadSlots-v1", 3) ||
                   名额.取得名额(0) != platform::加锁结果::错误;
       for (const std::wstring 名称 : {L"../escape", L"a/b", L"a\\b", L""}) {
         platform::命名互斥体 互斥体;
         platform::命名信号量 信号量;
         采信 = 采信 || 互斥体.打开或创建(名称) || 信号量.打开或创建(名称, 3);
       }
       return 采信 || 读测试文件(根 / "outside" / "victim") != "keep" || fs::exists(根 / "outside" / "planted") ||
              fs::exists(根 / "outside" / "slot") || !fs::is_symlink(命名空间 / "Tallybell-UpdateCoordinator-v1.lock") ||
              fs::exists(命名空间.parent_path() / "escape.lock");
     }},
};

TEST(链接不是发布也不是队列, 每种位置上的链接与命名管道都不被采信) {
  for (const auto& 场景 : 场景表) {
    私有锁命名空间 锁空间;
    测试临时目录 目录;
    EXPECT_FALSE(场景.链接被采信(目录.路径())) << 场景.名称;
  }
}

}  // namespace
}  // namespace tallybell
