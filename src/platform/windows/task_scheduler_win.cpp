// The background check's scheduled task, registered through the Task Scheduler 2.0 COM
// interfaces. Every call that returns an HRESULT is checked under its own step text; the
// first failure ends the registration, and only the final RegisterTaskDefinition replaces
// an earlier task of the same name. Every interface and string is released on every path,
// before the apartment is left.
#include "platform/task_scheduler.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <taskschd.h>

#include "platform/clock.h"
#include "platform/windows/handles_win.h"
#include "platform/hresult_check.h"

namespace tallybell::platform {
namespace {

using windows::COM指针;

// mingw-w64's taskschd.h has no declaration of the logon trigger's own interface. It
// extends ITrigger with the Delay and UserId properties, in this order.
struct ILogonTrigger : public ITrigger {
  virtual HRESULT STDMETHODCALLTYPE get_Delay(BSTR* delay) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Delay(BSTR delay) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_UserId(BSTR* user) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_UserId(BSTR user) = 0;
};
constexpr IID 登录触发器接口标识 = {0x72DADE38, 0xFAE4, 0x4B3E, {0xBA, 0xF4, 0x5D, 0x00, 0x9A, 0xF0, 0x2B, 0x1C}};

// Joins the thread to the multithreaded apartment for the registration. A thread that is
// already in another apartment keeps it (RPC_E_CHANGED_MODE) and is not uninitialised.
class 多线程套间 {
 public:
  多线程套间() : 结果_(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~多线程套间() {
    if (SUCCEEDED(结果_)) ::CoUninitialize();
  }
  多线程套间(const 多线程套间&) = delete;
  多线程套间& operator=(const 多线程套间&) = delete;
  bool 可用() const { return SUCCEEDED(结果_) || 结果_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT 结果_;
};

// An owned BSTR holding exactly the characters of a wide string.
class 系统字符串 {
 public:
  explicit 系统字符串(const std::wstring& 文本)
      : 值_(::SysAllocStringLen(文本.data(), static_cast<UINT>(文本.size()))) {}
  ~系统字符串() { ::SysFreeString(值_); }
  系统字符串(const 系统字符串&) = delete;
  系统字符串& operator=(const 系统字符串&) = delete;
  bool 有效() const { return 值_ != nullptr; }
  BSTR get() const { return 值_; }

 private:
  BSTR 值_;
};

// An empty VARIANT: no machine, user, password or security descriptor.
class 空变体 {
 public:
  空变体() { ::VariantInit(&值_); }
  ~空变体() { ::VariantClear(&值_); }
  空变体(const 空变体&) = delete;
  空变体& operator=(const 空变体&) = delete;
  const VARIANT& get() const { return 值_; }

 private:
  VARIANT 值_;
};

VARIANT_BOOL 变体布尔(bool 值) { return 值 ? VARIANT_TRUE : VARIANT_FALSE; }

// One registration: the steps share the message and stop at the first failure.
class 注册过程 {
 public:
  注册过程(const 后台更新任务定义& 定义, std::wstring* 错误) : 定义_(定义), 错误_(错误) {}

  bool 执行() {
    return 连接() && 设置任务设置() && 设置运行主体() && 添加触发器() && 添加更新动作() && 注册();
  }

 private:
  bool 检查(HRESULT 结果, const wchar_t* 步骤) { return 检查HRESULT(结果, 步骤, 错误_); }

  // Hands 值 to 设置 as a BSTR; a string that cannot be allocated fails without a
  // message of its own.
  template <typename 调用>
  bool 设置文本(const std::wstring& 值, const wchar_t* 步骤, 调用 设置) {
    系统字符串 文本(值);
    if (!文本.有效()) {
      if (错误_ != nullptr) 错误_->clear();
      return false;
    }
    return 检查(设置(文本.get()), 步骤);
  }

  template <typename 接口>
  bool 取接口(IUnknown* 对象, const IID& 标识, COM指针<接口>* 输出, const wchar_t* 步骤) {
    return 检查(对象->QueryInterface(标识, reinterpret_cast<void**>(输出->接收())), 步骤);
  }

  bool 连接();
  bool 设置任务设置();
  bool 设置运行主体();
  bool 添加触发器();
  bool 添加登录触发器(ITriggerCollection* 触发器);
  bool 添加每日触发器(ITriggerCollection* 触发器);
  bool 添加更新动作();
  bool 注册();

  const 后台更新任务定义& 定义_;
  std::wstring* 错误_;
  COM指针<ITaskService> 服务_;
  COM指针<ITaskFolder> 根目录_;
  COM指针<ITaskDefinition> 任务_;
};

bool 注册过程::连接() {
  if (!检查(::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                               reinterpret_cast<void**>(服务_.接收())),
            L"创建任务计划服务")) {
    return false;
  }
  空变体 计算机, 用户, 域, 密码;  // the local machine and the current user
  if (!检查(服务_->Connect(计算机.get(), 用户.get(), 域.get(), 密码.get()), L"连接任务计划服务")) return false;
  if (!设置文本(L"\\", L"打开任务计划根目录",
                [&](BSTR 路径) { return 服务_->GetFolder(路径, 根目录_.接收()); })) {
    return false;
  }
  return 检查(服务_->NewTask(0, 任务_.接收()), L"创建后台更新任务定义");
}

bool 注册过程::设置任务设置() {
  COM指针<ITaskSettings> 设置;
  if (!检查(任务_->get_Settings(设置.接收()), L"读取任务设置")) return false;
  const TASK_INSTANCES_POLICY 多开 = 定义_.ignoreNewInstances ? TASK_INSTANCES_IGNORE_NEW : TASK_INSTANCES_PARALLEL;
  return 检查(设置->put_StartWhenAvailable(变体布尔(定义_.startWhenAvailable)), L"设置错过后补跑") &&
         检查(设置->put_MultipleInstances(多开), L"设置任务多开策略") &&
         检查(设置->put_DisallowStartIfOnBatteries(VARIANT_FALSE), L"设置电池运行策略") &&
         检查(设置->put_StopIfGoingOnBatteries(VARIANT_FALSE), L"设置电池切换策略") &&
         检查(设置->put_Hidden(VARIANT_TRUE), L"隐藏任务条目") &&
         检查(设置->put_Enabled(VARIANT_TRUE), L"启用后台更新任务") &&
         设置文本(定义_.restartInterval, L"设置退避唤醒间隔",
                  [&](BSTR 值) { return 设置->put_RestartInterval(值); }) &&
         检查(设置->put_RestartCount(static_cast<INT>(定义_.restartCount)), L"设置退避唤醒次数");
}

bool 注册过程::设置运行主体() {
  COM指针<IPrincipal> 主体;
  const TASK_RUNLEVEL_TYPE 级别 = 定义_.runWithHighestPrivileges ? TASK_RUNLEVEL_HIGHEST : TASK_RUNLEVEL_LUA;
  return 检查(任务_->get_Principal(主体.接收()), L"读取任务运行主体") &&
         检查(主体->put_LogonType(TASK_LOGON_INTERACTIVE_TOKEN), L"设置任务登录类型") &&
         检查(主体->put_RunLevel(级别), L"设置任务权限");
}

bool 注册过程::添加触发器() {
  COM指针<ITriggerCollection> 触发器;
  return 检查(任务_->get_Triggers(触发器.接收()), L"读取任务触发器") && 添加登录触发器(触发器.get()) &&
         添加每日触发器(触发器.get());
}

bool 注册过程::添加登录触发器(ITriggerCollection* 触发器) {
  // No user id: the trigger fires at the logon of any user.
  COM指针<ITrigger> 通用;
  COM指针<ILogonTrigger> 登录;
  return 检查(触发器->Create(TASK_TRIGGER_LOGON, 通用.接收()), L"创建登录触发器") &&
         取接口(通用.get(), 登录触发器接口标识, &登录, L"读取登录触发器") &&
         设置文本(定义_.logonDelay, L"设置登录随机延迟", [&](BSTR 值) { return 登录->put_Delay(值); });
}

bool 注册过程::添加每日触发器(ITriggerCollection* 触发器) {
  COM指针<ITrigger> 通用;
  COM指针<IDailyTrigger> 每日;
  if (!检查(触发器->Create(TASK_TRIGGER_DAILY, 通用.接收()), L"创建每日触发器") ||
      !取接口(通用.get(), IID_IDailyTrigger, &每日, L"读取每日触发器")) {
    return false;
  }
  const std::wstring 开始 = 定义_.dailyStartBoundary;
  return 设置文本(开始, L"设置每日开始时间", [&](BSTR 值) { return 每日->put_StartBoundary(值); }) &&
         检查(每日->put_DaysInterval(1), L"设置每日触发间隔");
}

bool 注册过程::添加更新动作() {
  COM指针<IActionCollection> 动作集;
  COM指针<IAction> 通用;
  COM指针<IExecAction> 执行;
  return 检查(任务_->get_Actions(动作集.接收()), L"读取任务动作") &&
         检查(动作集->Create(TASK_ACTION_EXEC, 通用.接收()), L"创建更新动作") &&
         取接口(通用.get(), IID_IExecAction, &执行, L"读取更新动作") &&
         设置文本(定义_.executablePath, L"设置更新核心路径", [&](BSTR 值) { return 执行->put_Path(值); }) &&
         设置文本(定义_.workingDirectory, L"设置更新工作目录",
                  [&](BSTR 值) { return 执行->put_WorkingDirectory(值); }) &&
         设置文本(定义_.arguments, L"设置更新参数", [&](BSTR 值) { return 执行->put_Arguments(值); });
}

bool 注册过程::注册() {
  空变体 用户, 密码, 安全描述符;
  COM指针<IRegisteredTask> 已注册;
  return 设置文本(定义_.taskName, L"注册后台更新任务", [&](BSTR 名称) {
    return 根目录_->RegisterTaskDefinition(名称, 任务_.get(), TASK_CREATE_OR_UPDATE, 用户.get(), 密码.get(),
                                           TASK_LOGON_INTERACTIVE_TOKEN, 安全描述符.get(), 已注册.接收());
  });
}

}  // namespace

bool 注册计划任务(const 后台更新任务定义& 定义, const 计划任务文件&, std::wstring* 错误) {
  多线程套间 套间;
  if (!套间.可用()) {
    if (错误 != nullptr) *错误 = L"初始化任务计划 COM 失败。";
    return false;
  }
  // The process object holds the interfaces, so it ends before the apartment does.
  if (!注册过程(定义, 错误).执行()) return false;
  if (错误 != nullptr) 错误->clear();
  return true;
}

}  // namespace tallybell::platform
