// The strict JSON value behind every document the update core reads.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tallybell {

enum class Json类型 {
  空,
  对象,
  数组,
  字符串,
  有符号整数,
  无符号整数,
  布尔,
};

// A tagged JSON value that owns its whole tree; only the part that belongs to the kind is
// meaningful. Object members are kept in ascending byte order of their UTF-8 names.
class Json值 {
 public:
  using 成员表 = std::map<std::string, Json值>;
  using 元素表 = std::vector<Json值>;

  // The null value.
  Json值() = default;

  static Json值 对象() { return Json值(Json类型::对象); }
  static Json值 数组() { return Json值(Json类型::数组); }
  static Json值 字符串(std::string 文本);
  static Json值 有符号整数(std::int64_t 值);
  static Json值 无符号整数(std::uint64_t 值);
  static Json值 布尔(bool 值);

  // Parses a complete UTF-8 document (a leading byte order mark is skipped) under the
  // strict rules: no repeated member names, at most 32 nested containers, integers in the
  // 64-bit ranges only. On success *输出 is replaced, *错误 cleared and the result is true;
  // on failure *输出 is untouched and *错误 receives one fixed message.
  static bool 解析(const std::string& 文本, Json值* 输出, std::wstring* 错误 = nullptr);

  Json类型 类型() const { return 类型_; }
  bool 是空() const { return 类型_ == Json类型::空; }
  bool 是对象() const { return 类型_ == Json类型::对象; }
  bool 是数组() const { return 类型_ == Json类型::数组; }
  bool 是字符串() const { return 类型_ == Json类型::字符串; }
  bool 是有符号整数() const { return 类型_ == Json类型::有符号整数; }
  bool 是无符号整数() const { return 类型_ == Json类型::无符号整数; }
  bool 是布尔() const { return 类型_ == Json类型::布尔; }

  const 成员表& 成员() const { return 成员_; }
  const 元素表& 元素() const { return 元素_; }
  const std::string& 文本() const { return 文本_; }
  std::int64_t 有符号值() const { return 有符号值_; }
  std::uint64_t 无符号值() const { return 无符号值_; }
  bool 布尔值() const { return 布尔值_; }

  // The member named 名称 byte for byte; null when this is not an object, 名称 is null or
  // there is no such member. Never creates members.
  const Json值* 查找成员(const char* 名称) const;

  // Builders for documents the system writes. Each one first turns a value of another
  // kind into an empty object or array.
  void 设置成员(const std::string& 名称, Json值 值);
  // True when a member was removed.
  bool 移除成员(const std::string& 名称);
  void 追加元素(Json值 值);

 private:
  explicit Json值(Json类型 类型) : 类型_(类型) {}
  void 确保类型(Json类型 类型);

  Json类型 类型_ = Json类型::空;
  成员表 成员_;
  元素表 元素_;
  std::string 文本_;
  std::int64_t 有符号值_ = 0;
  std::uint64_t 无符号值_ = 0;
  bool 布尔值_ = false;
};

// The member 名称 as a non-empty string without zero bytes, copied to *输出. Otherwise
// false and *错误 (when given) becomes "字段缺失或不是非空字符串：" + 名称.
bool 读取非空字符串字段(const Json值& 对象, const char* 名称, std::string* 输出,
                        std::wstring* 错误 = nullptr);

// The non-negative integer rule: an unsigned value as is, or a signed value of at least 0.
// False (and *输出 untouched) for a null pointer, any other kind or a negative value; the
// caller picks the message.
bool 读取非负整数(const Json值* 值, std::uint64_t* 输出);

}  // namespace tallybell
