#include "support/lock_holder.h"

namespace tallybell::测试 {

// The holder is never destroyed: its destructor would release the mutex, and an owner
// thread that ends without releasing it is what leaves it abandoned. Its handle also keeps
// the mutex in existence after that.
bool 持锁后死去(const 取锁方法& 取锁) {
  bool 持有 = false;
  std::thread([&] { 持有 = *new std::shared_ptr<void>(取锁()) != nullptr; }).join();
  return 持有;
}

}  // namespace tallybell::测试
