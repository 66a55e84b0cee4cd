// tallybell-service: a Linux program whose options are plain bytes (paths, addresses,
// connection strings), taken as they are.
#include "service/service_main.h"

int main(int argc, char** argv) { return tallybell::服务::服务主程序(argc, argv); }
