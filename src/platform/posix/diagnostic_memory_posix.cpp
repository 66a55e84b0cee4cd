// The diagnostic channel on POSIX: the application creates two files in the per-user
// namespace directory; the mapping file is shared memory, the lock file carries flock.
#include "platform/diagnostic_memory.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>

#include <cerrno>

#include "common/text.h"
#include "platform/clock.h"
#include "platform/posix/fd_posix.h"
#include "platform/posix/user_namespace.h"

namespace tallybell::platform {
namespace {

constexpr char 映射文件前缀[] = "/Tallybell.UpdateDiagnostic.";
constexpr long 轮询间隔纳秒 = 2 * 1000 * 1000;

// Owns one shared mapping of 诊断视图字节数 bytes.
class 共享视图 {
 public:
  共享视图() = default;
  ~共享视图() { 重置(); }
  共享视图(const 共享视图&) = delete;
  共享视图& operator=(const 共享视图&) = delete;

  bool 映射(int 描述符) {
    重置();
    void* 地址 = ::mmap(nullptr, 诊断视图字节数, PROT_READ | PROT_WRITE, MAP_SHARED, 描述符, 0);
    if (地址 == MAP_FAILED) return false;
    地址_ = static_cast<unsigned char*>(地址);
    return true;
  }
  unsigned char* 地址() const { return 地址_; }
  void 重置() {
    if (地址_ != nullptr) ::munmap(地址_, 诊断视图字节数);
    地址_ = nullptr;
  }

 private:
  unsigned char* 地址_ = nullptr;
};

// Opens an existing regular file, never following a link at the last component and
// never blocking on a FIFO someone put there.
唯一文件描述符 打开已有常规文件(const std::string& 路径, int 访问, struct stat* 信息) {
  唯一文件描述符 文件(::open(路径.c_str(), 访问 | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK));
  if (文件.有效() && (::fstat(文件.get(), 信息) != 0 || !S_ISREG(信息->st_mode))) 文件.重置();
  return 文件;
}

void 短暂等待(std::uint64_t 剩余毫秒) {
  timespec 间隔 {0, 轮询间隔纳秒};
  if (剩余毫秒 * 1000 * 1000 < static_cast<std::uint64_t>(轮询间隔纳秒)) {
    间隔.tv_nsec = static_cast<long>(剩余毫秒 * 1000 * 1000);
  }
  ::nanosleep(&间隔, nullptr);
}

}  // namespace

struct 诊断共享内存::状态 {
  // Declared in the order opposite to closing: view first, then lock, then mapping.
  唯一文件描述符 映射文件;
  唯一文件描述符 锁文件;
  共享视图 视图;
  bool 已加锁 = false;
};

诊断共享内存::诊断共享内存() : 状态_(std::make_unique<状态>()) {}

诊断共享内存::~诊断共享内存() { 关闭(); }

void 诊断共享内存::打开(const std::string& 标识) {
  关闭();
  std::string 目录;
  if (!取用户命名空间目录(&目录)) return;
  const std::string 映射路径 = 目录 + 映射文件前缀 + 标识;
  struct stat 映射信息 {};
  struct stat 锁信息 {};
  状态_->映射文件 = 打开已有常规文件(映射路径, O_RDWR, &映射信息);
  状态_->锁文件 = 打开已有常规文件(映射路径 + ".Lock", O_RDONLY, &锁信息);
  if (!状态_->映射文件.有效() || !状态_->锁文件.有效()) return;
  // Touching a mapped page beyond the end of the file raises SIGBUS, so a file shorter
  // than the view is refused like a mapping that is too small.
  if (映射信息.st_size < static_cast<off_t>(诊断视图字节数)) return;
  状态_->视图.映射(状态_->映射文件.get());
}

bool 诊断共享内存::有映射() const { return 状态_->映射文件.有效(); }

bool 诊断共享内存::有锁() const { return 状态_->锁文件.有效(); }

unsigned char* 诊断共享内存::视图() const { return 状态_->视图.地址(); }

加锁结果 诊断共享内存::加锁(std::uint32_t 毫秒) {
  if (!状态_->锁文件.有效()) return 加锁结果::错误;
  if (状态_->已加锁) return 加锁结果::取得;
  const std::uint64_t 截止 = 毫秒计时() + 毫秒;
  for (;;) {
    // The kernel drops the lock of a process that died, which is the abandoned case.
    if (::flock(状态_->锁文件.get(), LOCK_EX | LOCK_NB) == 0) {
      状态_->已加锁 = true;
      return 加锁结果::取得;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) return 加锁结果::错误;
    const std::uint64_t 现在 = 毫秒计时();
    if (现在 >= 截止) return 加锁结果::超时;
    短暂等待(截止 - 现在);
  }
}

void 诊断共享内存::解锁() {
  if (!状态_->已加锁) return;
  ::flock(状态_->锁文件.get(), LOCK_UN);
  状态_->已加锁 = false;
}

void 诊断共享内存::关闭() {
  解锁();
  状态_->视图.重置();
  状态_->锁文件.重置();
  状态_->映射文件.重置();
}

std::wstring 诊断映射名称(const std::string& 标识) {
  return UTF8转宽宽松(用户命名空间路径() + 映射文件前缀 + 标识);
}

}  // namespace tallybell::platform
