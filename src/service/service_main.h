// tallybell-service: the update service and its local operator commands.
#pragma once

namespace tallybell::服务 {

// Runs the command named by argv and returns its exit code.
int 服务主程序(int argc, char** argv);

}  // namespace tallybell::服务
