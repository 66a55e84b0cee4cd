#include "service/service_main.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "service/service_commands.h"
#include "service/store_open.h"

namespace tallybell::服务 {
namespace {

struct 命令说明 {
  const char* 名称;  // one or two words
  int (*执行)(命令环境&);
  const char* 用法;
  std::set<std::string> 选项;
  bool 需要存储 = true;
};

const char* const 限值说明 =
    "  Automatic halt (0 turns a limit off):\n"
    "    --min-results N          results needed before the failure limits apply (10)\n"
    "    --max-failures N         halt when this many results failed (0)\n"
    "    --max-failure-percent P  halt when more than P % of the results failed (20)\n"
    "    --silent-after SECONDS   an offered installation silent this long is silent (86400)\n"
    "    --min-silent N           offers past that time needed before the silent limit applies (10)\n"
    "    --max-silent-percent P   halt when more than P % of them are silent (20)\n";

const std::vector<命令说明>& 命令表() {
  static const std::vector<命令说明> 表 = {
      {"init", 执行初始化,
       "init --db FILE --public-url https://HOST[:PORT] [--check-interval SECONDS]\n"
       "  Creates the database (mode 0600). The public URL is where installations send results;\n"
       "  the check interval (default 3600, at least 60) is how often they come back.\n",
       {"public-url", "check-interval"}, false},
      {"release add", 执行发布添加,
       "release add RELEASE-DIR --db FILE --base-url URL\n"
       "  Imports content/releases/<id>/ as tallybell-publish wrote it: the release id, the\n"
       "  manifest hash and, when manifest.json.sig is there, its signature. The manifest URL\n"
       "  is URL/releases/<id>/manifest.json (URL: where content/ is published).\n",
       {"base-url"}},
      {"release list", 执行发布列表, "release list --db FILE\n  Lists the imported releases.\n", {}},
      {"rollout start", 执行推出开始,
       "rollout start --db FILE --release ID [--channel NAME] [--base ID] [--steps 1,2,5,10,20,50,100]\n"
       "              [--step-seconds 86400 | --percent P] [limits]\n"
       "  Starts a rollout of a release on a channel (default tallybell, the product id),\n"
       "  replacing the current one. Installations outside it are offered the base (default:\n"
       "  what the channel ran before). Without --percent the plan advances by itself.\n",
       {"release", "channel", "base", "steps", "step-seconds", "percent", "min-results", "max-failures",
        "max-failure-percent", "silent-after", "min-silent", "max-silent-percent"}},
      {"rollout set", 执行推出设置,
       "rollout set --db FILE --percent P [--channel NAME]\n"
       "  Sets the percentage by hand and ends the plan. Raising it only adds installations.\n",
       {"percent", "channel"}},
      {"rollout pause", 执行推出暂停, "rollout pause --db FILE [--channel NAME]\n  Holds the plan where it is.\n",
       {"channel"}},
      {"rollout resume", 执行推出恢复,
       "rollout resume --db FILE [--channel NAME]\n"
       "  Resumes a paused or halted rollout with the same installations; the step starts over.\n",
       {"channel"}},
      {"rollout rollback", 执行推出回滚,
       "rollout rollback --db FILE [--channel NAME] [--to ID]\n"
       "  Offers every installation the base release (or ID) instead of the target.\n",
       {"channel", "to"}},
      {"rollout status", 执行推出状态,
       "rollout status --db FILE [--channel NAME]\n"
       "  State, percentage, plan, results by result, stage and code, silent installations.\n",
       {"channel"}},
      {"audit", 执行审计, "audit --db FILE [--last N]\n  The last N operator and automatic changes (50).\n",
       {"last"}},
      {"prune", 执行修剪,
       "prune --db FILE --older-than-days N\n"
       "  Deletes result rows older than N days, keeping their per-release counts.\n",
       {"older-than-days"}},
      {"serve", 执行服务,
       "serve --db FILE --cert PEM --key PEM [--listen HOST:PORT] [--content DIR] [--threads N]\n"
       "  Answers POST /update/v1/resolve and /update/v1/results over HTTPS (TLS 1.2 or newer)\n"
       "  on HOST:PORT (127.0.0.1:8443); with --content also serves that directory\n"
       "  (manifests and objects, with ranges). Stops on SIGTERM or SIGINT.\n",
       {"cert", "key", "listen", "content", "threads"}},
  };
  return 表;
}

void 打印总帮助() {
  std::printf(
      "usage: tallybell-service COMMAND [options]   (COMMAND --help for its options)\n\n"
      "Options of every command: --db FILE (the SQLite database) or --db postgresql://... (a\n"
      "PostgreSQL database shared by several instances), --operator NAME (for the\n"
      "audit log; default $USER), --clock-file FILE (read the time from FILE, for rehearsals).\n\n"
      "Commands:\n");
  for (const auto& 命令 : 命令表()) std::printf("  %s\n", 命令.名称);
  std::printf("\nExit codes: 0 success, 1 serve failed, 2 usage, 3 refused, 4 database failure.\n");
}

const 命令说明* 查找命令(int argc, char** argv, int* 词数) {
  for (const auto& 命令 : 命令表()) {
    const std::string 名称 = 命令.名称;
    const auto 空格 = 名称.find(' ');
    if (空格 == std::string::npos) {
      if (argc > 1 && 名称 == argv[1]) return *词数 = 1, &命令;
    } else if (argc > 2 && 名称.substr(0, 空格) == argv[1] && 名称.substr(空格 + 1) == argv[2]) {
      return *词数 = 2, &命令;
    }
  }
  return nullptr;
}

}  // namespace

int 服务主程序(int argc, char** argv) {
  int 词数 = 0;
  const 命令说明* 命令 = 查找命令(argc, argv, &词数);
  if (!命令) {
    const bool 求助 = argc < 2 || std::strcmp(argv[1], "--help") == 0;
    打印总帮助();
    return 求助 ? 成功 : 用法错误;
  }
  命令环境 环境;
  auto 选项 = 命令->选项;
  选项.insert({"db", "operator", "clock-file"});
  std::string 错误;
  if (!环境.参数.解析(argc, argv, 1 + 词数, 选项, {"help"}, &错误)) {
    std::fprintf(stderr, "usage: tallybell-service %s", 命令->用法);
    return 报错(用法错误, 错误);
  }
  if (环境.参数.有("help")) {
    std::printf("usage: tallybell-service %s%s", 命令->用法,
                std::strcmp(命令->名称, "rollout start") == 0 ? 限值说明 : "");
    return 成功;
  }
  if (std::strcmp(命令->名称, "release add") != 0 && !环境.参数.位置参数().empty()) {
    return 报错(用法错误, "unexpected argument " + 环境.参数.位置参数().front());
  }
  if (环境.参数.取("db").empty()) return 报错(用法错误, "--db FILE is required");
  环境.时钟 = 服务时钟(环境.参数.取("clock-file"));
  const char* 用户 = std::getenv("USER");
  环境.操作者 = 环境.参数.取("operator", 用户 && *用户 ? 用户 : "uid-" + std::to_string(::getuid()));
  if (命令->需要存储) {
    环境.存储 = 打开服务存储(环境.参数.取("db"), 环境.时钟, false, &错误);
    if (!环境.存储 || !环境.存储->准备(nullptr, &错误)) return 报错(存储错误, 错误);
  }
  return 命令->执行(环境);
}

}  // namespace tallybell::服务
