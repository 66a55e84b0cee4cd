// Facts about this machine and process.
#pragma once

#include <cstdint>
#include <string>

#include "common/guid_text.h"

namespace tallybell::platform {

// The value type lives in common/ so that its text forms need nothing from this layer.
using tallybell::GUID值;

// A new random (version 4) GUID; false when none can be obtained.
bool 生成GUID(GUID值* 输出);

// The operating system's name, version and build, for example "Windows 10.0 build 19045 x64".
std::wstring 系统描述();

// The Program Files folder and the common (all users) application data folder; empty
// when the lookup fails.
std::wstring 程序文件夹();
std::wstring 公共数据文件夹();

// The full path of this program's executable; empty when it cannot be read.
std::wstring 本程序路径();

}  // namespace tallybell::platform
