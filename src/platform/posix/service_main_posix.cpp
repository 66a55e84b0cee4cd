// Entry point of tallybell-service (Linux only).
#include "service/service_main.h"

int main(int argc, char** argv) { return tallybell::服务::服务主程序(argc, argv); }
